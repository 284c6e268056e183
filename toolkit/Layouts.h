#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace toolkit {

// Layouts are Qt Designer files in res/layouts, named after the layout ("LAYOUT:XML_MSGBOX" is
// XML_MSGBOX.ui) and compiled by uic. Each is registered here under its name so that windows can
// be built from a name given at run time (SInputHotKeyDlg takes its layout name from the caller).
using LayoutSetup = std::function<void(QWidget* root)>;

void RegisterLayout(const QString& name, LayoutSetup setup);
// Builds the named layout into root ("LAYOUT:XML_X" or "XML_X", any case of the prefix) and
// resolves its "@string/" and "@color/" references (Values.h); false when no such layout is
// registered.
bool BuildLayout(const QString& name, QWidget* root);
bool HasLayout(const QString& name);
QStringList RegisteredLayouts();

}  // namespace toolkit

// Registers a uic class: VELORA_REGISTER_LAYOUT(XML_MSGBOX) after #include "ui_XML_MSGBOX.h".
#define VELORA_REGISTER_LAYOUT(UiName)                                     \
    ::toolkit::RegisterLayout(QStringLiteral(#UiName), [](QWidget* root) { \
        Ui::UiName ui;                                                     \
        ui.setupUi(root);                                                  \
    })
