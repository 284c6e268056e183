#include "widgets/Widgets.h"

#include "toolkit/Layouts.h"
#include "toolkit/Skin.h"
#include "toolkit/WidgetFactory.h"
#include "ui_XML_HOTKEYDLG.h"
#include "ui_XML_INPUTDLG.h"
#include "ui_XML_TOOLTIP.h"
#include "widgets/QvCheckButton.h"
#include "widgets/QvComboBtn.h"
#include "widgets/QvEq.h"
#include "widgets/QvEqCurve.h"
#include "widgets/QvEqGrid.h"
#include "widgets/QvProgress.h"
#include "widgets/QvProgressEX.h"
#include "widgets/QvRotaryKnob.h"
#include "widgets/QvSlider.h"
#include "widgets/SEdit2.h"
#include "widgets/SGifPlayer.h"
#include "widgets/SMoveThumb.h"
#include "widgets/SScrollText.h"

namespace widgets {

void RegisterWidgets() {
    using toolkit::RegisterWidgetClass;
    RegisterWidgetClass<QvProgress>();
    RegisterWidgetClass<QvSlider>();
    RegisterWidgetClass<QvSlider2>();
    RegisterWidgetClass<QvCheckButton>();
    RegisterWidgetClass<QvRadioButton>();
    RegisterWidgetClass<SMoveThumb>();
    RegisterWidgetClass<QvEqCurve>();
    RegisterWidgetClass<QvEqGrid>();
    RegisterWidgetClass<QvEQ>();
    RegisterWidgetClass<SEdit2>();
    RegisterWidgetClass<QvVumeter>();
    RegisterWidgetClass<QvVuGroup>();
    RegisterWidgetClass<QvRotaryKnob>();
    RegisterWidgetClass<QvComboBtn>();
    RegisterWidgetClass<QvProgressEX>();
    RegisterWidgetClass<QvProgressEX1>();
    RegisterWidgetClass<SGifPlayer>();
    toolkit::CSkinPool::Instance().RegisterSkinClass(QStringLiteral("gif"), &SSkinGif::Create);
    RegisterWidgetClass<SScrollText>();

    VELORA_REGISTER_LAYOUT(XML_TOOLTIP);
    VELORA_REGISTER_LAYOUT(XML_INPUTDLG);
    VELORA_REGISTER_LAYOUT(XML_HOTKEYDLG);
}

}  // namespace widgets
