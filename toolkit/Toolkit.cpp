#include "toolkit/Toolkit.h"

#include <QtGlobal>

#include "toolkit/Layouts.h"
#include "toolkit/SHotKeyCtrl.h"
#include "toolkit/SImageWnd.h"
#include "toolkit/SProgress.h"
#include "toolkit/STreeView.h"
#include "toolkit/SSliderBar.h"
#include "toolkit/Translations.h"
#include "toolkit/Values.h"
#include "toolkit/WidgetFactory.h"
#include "ui_XML_MSGBOX.h"

// Resources compiled into a static library are only linked when something names them.
static void InitVeloraResources() {
    Q_INIT_RESOURCE(velora);
}

namespace toolkit {

void Initialize() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    InitVeloraResources();
    CValueTable::Instance().Load(QStringLiteral(":/values/values"));
    InstallQtTranslations();
    VELORA_REGISTER_LAYOUT(XML_MSGBOX);
    RegisterWidgetClass<SSliderBar>();
    RegisterWidgetClass<SProgress>();
    RegisterWidgetClass<SImageWnd>();
    RegisterWidgetClass<SHotKeyCtrl>();
    RegisterWidgetClass<STreeView>();
}

}  // namespace toolkit
