#pragma once

namespace widgets {

// Registers the custom controls with the toolkit in the program's order (the equaliser display
// among them), the "gif" skin class and the layouts of this library (XML_TOOLTIP, XML_INPUTDLG,
// XML_HOTKEYDLG). Call after toolkit::Initialize and before
// toolkit::ApplyTheme, which reads the skin table.
void RegisterWidgets();

}  // namespace widgets
