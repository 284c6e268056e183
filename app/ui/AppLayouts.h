#pragma once

// Registers the program's own layouts with the toolkit: the main window (which brings its three
// included layouts along), the hidden window, the device-information dialog and the About box,
// and the included layouts on their own. Call after toolkit::Initialize and
// widgets::RegisterWidgets.
void RegisterAppLayouts();
