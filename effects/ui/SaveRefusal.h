#pragma once

#include "SaveChecks.h"

class QWidget;

namespace effects::ui {

// Shows why a save dialog did not store: a message box owned by the dialog, or a warning tip
// for 2000 ms centred on (client width / 2 + 20, client height / 2 + tipDy) of the dialog.
void ShowSaveRefusal(QWidget* dialog, const SaveCheck& check, int tipDy);

}  // namespace effects::ui
