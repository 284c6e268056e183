#pragma once

#include "SaveChecks.h"

class QString;
class QWidget;

namespace effects::ui {

// Shows why a save dialog did not store: a message box owned by the dialog, or a warning tip
// for 2000 ms centred on (client width / 2 + 20, client height / 2 + tipDy) of the dialog.
void ShowSaveRefusal(QWidget* dialog, const SaveCheck& check, int tipDy);

// Before a save replaces what a slot holds: asks the user (OK and Cancel) whether the effect or
// preset name stored at that position goes. True to replace it.
bool AskToReplace(QWidget* dialog, const QString& position, const QString& what,
                  const QString& name);

}  // namespace effects::ui
