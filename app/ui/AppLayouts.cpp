#include "app/ui/AppLayouts.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "toolkit/Layouts.h"
#include "ui_XML_ABOUT.h"
#include "ui_XML_DLGDEVICEINFO.h"
#include "ui_XML_EDIT_ADDFILENAME.h"
#include "ui_XML_INC_CLOUNDEFFECTLIST.h"
#include "ui_XML_INC_SOUND.h"
#include "ui_XML_INC_VOLUME.h"
#include "ui_XML_MAINHIDEWND.h"
#include "ui_XML_MAINWND.h"
#include "ui_XML_REVERB_PITCH.h"
#include "ui_XML_SAVEEFFECT.h"
#include "ui_XML_SAVEPRESET.h"
#include "ui_XML_SET_VOLUME.h"

namespace {

// Builds an included layout into a child that fills the container, so that the container keeps
// its own name, frame and geometry and the include keeps its root's name.
void BuildInto(const QString& include, QWidget* container) {
    if (!container) {
        qWarning("layouts: no container for %s", qUtf8Printable(include));
        return;
    }
    auto* content = new QWidget(container);
    toolkit::BuildLayout(include, content);
    auto* box = new QVBoxLayout(container);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(content);
}

// The effect-list include holds one widget per tab page; each becomes a page of the tab control,
// titled with its window title.
void BuildPagesInto(const QString& include, QTabWidget* tabs) {
    if (!tabs) {
        qWarning("layouts: no tab control for %s", qUtf8Printable(include));
        return;
    }
    QWidget holder;
    toolkit::BuildLayout(include, &holder);
    const QList<QWidget*> pages = holder.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* page : pages) {
        tabs->addTab(page, page->windowTitle());
    }
}

void BuildMainWindow(QWidget* root) {
    Ui::XML_MAINWND ui;
    ui.setupUi(root);
    BuildInto(QStringLiteral("XML_INC_VOLUME"), ui.volume_container_wnd);
    BuildPagesInto(QStringLiteral("XML_INC_CLOUNDEFFECTLIST"), ui.tab_efflist);
    BuildInto(QStringLiteral("XML_INC_SOUND"), ui.sound_wnd);
}

}  // namespace

void RegisterAppLayouts() {
    VELORA_REGISTER_LAYOUT(XML_INC_VOLUME);
    VELORA_REGISTER_LAYOUT(XML_INC_SOUND);
    VELORA_REGISTER_LAYOUT(XML_INC_CLOUNDEFFECTLIST);
    toolkit::RegisterLayout(QStringLiteral("XML_MAINWND"), &BuildMainWindow);
    VELORA_REGISTER_LAYOUT(XML_MAINHIDEWND);
    VELORA_REGISTER_LAYOUT(XML_DLGDEVICEINFO);
    VELORA_REGISTER_LAYOUT(XML_ABOUT);
    VELORA_REGISTER_LAYOUT(XML_REVERB_PITCH);
    VELORA_REGISTER_LAYOUT(XML_SAVEEFFECT);
    VELORA_REGISTER_LAYOUT(XML_SAVEPRESET);
    VELORA_REGISTER_LAYOUT(XML_SET_VOLUME);
    VELORA_REGISTER_LAYOUT(XML_EDIT_ADDFILENAME);
}
