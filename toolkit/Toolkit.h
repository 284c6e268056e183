#pragma once

class QApplication;

namespace toolkit {

// Registers the toolkit's resources (res/velora.qrc), loads the string and colour tables and Qt's
// own translations, and registers its layouts (XML_MSGBOX) and its controls.
// Call once on the UI thread after the QApplication exists. The application then registers its
// widgets (widgets::RegisterWidgets) and applies the theme (toolkit::ApplyTheme).
void Initialize();

}  // namespace toolkit
