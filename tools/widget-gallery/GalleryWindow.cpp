#include "GalleryWindow.h"

#include <QApplication>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"
#include "toolkit/SHotKeyCtrl.h"
#include "toolkit/SImageWnd.h"
#include "toolkit/Timeline.h"
#include "widgets/CTipWnd.h"
#include "widgets/QvCheckButton.h"
#include "widgets/QvComboBtn.h"
#include "widgets/QvProgressEX.h"
#include "widgets/QvRotaryKnob.h"
#include "widgets/QvSlider.h"
#include "widgets/SDlgInput.h"
#include "widgets/SEdit2.h"
#include "widgets/SGifPlayer.h"
#include "widgets/SInputHotKeyDlg.h"
#include "widgets/SMoveThumb.h"
#include "widgets/SScrollText.h"
#include "widgets/SSimpleToolTip.h"

using toolkit::EventKind;

namespace {

constexpr const char* kForbidden = "\\:/*?\"<>|";

QLabel* Caption(const QString& text, QWidget* parent, bool dim = true) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    if (dim) {
        label->setProperty("role", "hint");
    }
    return label;
}

template <typename T>
T* Named(T* w, const char* name, int id = 0) {
    w->setObjectName(QString::fromLatin1(name));
    if (id) {
        toolkit::SetControlId(w, id);
    }
    return w;
}

QvRotaryKnob* MakeKnob(QWidget* parent, const char* name, int id, int value, bool needle,
                       int size) {
    auto* k = Named(new QvRotaryKnob(parent), name, id);
    k->setFixedSize(size, size);
    k->setIncludedAngle(70);
    k->setFgRadius(size / 2 - 3);
    k->setArcWidth(size >= 64 ? 3 : 2);
    k->setBkgndSkin(QStringLiteral("skin_knob_bg"));
    if (needle) {
        k->setPointertype(QStringLiteral("pterSlash"));
        k->setSlashSkin(QStringLiteral("skin_knob_needle"));
        k->setPointerSize(QSize(4, size * 14 / 72));
        k->setPoniterOffset(QPoint(-2, size * 9 / 72));
    } else {
        k->setPointertype(QStringLiteral("pterDot"));
        k->setDotSkin(QStringLiteral("skin_knob_dot"));
        k->setDotRadius(size * 17 / 72);
    }
    k->setValue(value);
    return k;
}

template <typename S>
S* MakeSlider(QWidget* parent, const char* name, int id, bool vertical, int value) {
    auto* s = Named(new S(parent), name, id);
    s->setVertical(vertical);
    s->setBkgndSkin(vertical ? QStringLiteral("skin_rail_v") : QStringLiteral("skin_rail"));
    s->setPosSkin(vertical ? QStringLiteral("skin_rail_pos_v") : QStringLiteral("skin_rail_pos"));
    s->setThumbSkin(QStringLiteral("skin_slider_thumb"));
    s->setShowPercent(true);
    s->setValue(value);
    return s;
}

QvCheckButton* MakeCheck(QWidget* parent, const char* name, const QString& text, bool checked) {
    auto* b = Named(new QvCheckButton(parent), name);
    b->setSkin(QStringLiteral("skin_btn_toggle"));
    b->setText(text);
    b->setChecked(checked);
    b->setMinimumSize(84, 30);
    return b;
}

QGroupBox* Group(const QString& title, QWidget* parent) {
    auto* g = new QGroupBox(title, parent);
    return g;
}

}  // namespace

int CDemoLevels::Fill(int* values, int count) {
    ++m_phase;
    for (int i = 0; i < count; ++i) {
        values[i] = 40 + (37 * (m_phase + i * 3) % 55);
    }
    return count;
}

CGalleryWindow::CGalleryWindow(QWidget* parent) : CHostWindow(QString(), parent) {
    setObjectName(QStringLiteral("widget_gallery"));
    setWindowTitle(QStringLiteral("Velora 控件一览 — Orin LYNT!"));

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(18, 14, 18, 12);
    root->setSpacing(10);

    auto* header = new QHBoxLayout;
    auto* logo = new SImageWnd(this);
    logo->setSkin(QStringLiteral("skin_logo"));
    logo->setFixedSize(32, 32);
    header->addWidget(logo);
    auto* title = new QLabel(QStringLiteral("Orin LYNT!  控件一览"), this);
    title->setStyleSheet(QStringLiteral("font-size: 17px; font-weight: bold; color: #E6EDF3;"));
    header->addWidget(title);
    header->addSpacing(12);
    header->addWidget(
        Caption(QStringLiteral("控件与窗口工具包 · 深色主题 · 强调色 #00F6FF"), this));
    header->addStretch(1);
    m_animate = Named(new QvCheckButton(this), "chk_animate");
    m_animate->setSkin(QStringLiteral("skin_btn_toggle"));
    m_animate->setAutoCheck(1);
    m_animate->setMultitext(QStringLiteral("1"));
    m_animate->setText1(QStringLiteral("动画演示：关"));
    m_animate->setText2(QStringLiteral("动画演示：开"));
    m_animate->setMulticolor(QStringLiteral("1"));
    m_animate->setColortext1(QColor(0x8A, 0x96, 0xA3));
    m_animate->setColortext2(QColor(0x00, 0xF6, 0xFF));
    m_animate->setMinimumSize(120, 30);
    header->addWidget(m_animate);
    root->addLayout(header);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    grid->addWidget(BuildKnobs(), 0, 0);
    grid->addWidget(BuildSliders(), 0, 1);
    grid->addWidget(BuildMeters(), 0, 2);
    grid->addWidget(BuildButtons(), 1, 0);
    grid->addWidget(BuildTexts(), 1, 1);
    grid->addWidget(BuildDialogs(), 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    root->addLayout(grid, 1);

    m_status = Named(new QLabel(this), "txt_status");
    m_status->setProperty("role", "hint");
    m_status->setText(QStringLiteral("最近的控件事件会显示在这里"));
    root->addWidget(m_status);

    toolkit::WireControls(this);
    RouteEvents();
    SetAnimating(false);
}

CGalleryWindow::~CGalleryWindow() {
    for (const auto& w : m_shown) {
        delete w.data();
    }
    CTipWnd::Destroy();
}

QWidget* CGalleryWindow::BuildKnobs() {
    auto* g = Group(QStringLiteral("旋钮 QvRotaryKnob"), this);
    auto* grid = new QGridLayout(g);
    grid->setHorizontalSpacing(14);
    struct K {
        const char* name;
        int id;
        int value;
        bool needle;
        const char* caption;
        bool enabled;
    };
    const K knobs[] = {
        {"knob_reverb", 8030, 65, true, "混响 65", true},
        {"knob_monitor", 8031, 30, false, "监听 30", true},
        {"knob_pitch", 8032, 0, true, "变调 0（最小）", true},
        {"knob_mic", 8033, 100, false, "话筒 100（最大）", true},
        {"knob_off", 8034, 45, true, "禁用", false},
    };
    int col = 0;
    int row = 0;
    for (const K& k : knobs) {
        QvRotaryKnob* knob = MakeKnob(g, k.name, k.id, k.value, k.needle, 72);
        knob->setEnabled(k.enabled);
        grid->addWidget(knob, row * 2, col, Qt::AlignHCenter);
        grid->addWidget(Caption(QString::fromUtf8(k.caption), g), row * 2 + 1, col);
        if (++col == 3) {
            col = 0;
            ++row;
        }
    }
    auto* small = new QHBoxLayout;
    small->setSpacing(4);
    for (int i = 0; i < 3; ++i) {
        small->addWidget(MakeKnob(g, "knob_small", 8040 + i, 20 + 30 * i, i % 2 == 0, 44));
    }
    grid->addLayout(small, row * 2, col, Qt::AlignCenter);
    grid->addWidget(Caption(QStringLiteral("小号 44 px"), g), row * 2 + 1, col);
    return g;
}

QWidget* CGalleryWindow::BuildSliders() {
    auto* g = Group(QStringLiteral("滑杆 QvSlider · QvSlider2 · 数值框 SEdit2"), this);
    auto* box = new QVBoxLayout(g);
    box->setSpacing(8);

    auto* hrow = new QGridLayout;
    hrow->setHorizontalSpacing(10);
    hrow->setVerticalSpacing(22);  // room for the value tip under a thumb
    m_tipSlider = MakeSlider<QvSlider>(g, "slider_volume", 8010, false, 72);
    m_tipSlider->setDelta(-10);
    hrow->addWidget(Caption(QStringLiteral("音量"), g), 0, 0);
    hrow->addWidget(m_tipSlider, 0, 1);
    auto* balance = MakeSlider<QvSlider2>(g, "slider_balance", 8012, false, 25);
    balance->setRange(-50, 50);
    balance->setSelectPos(0);
    hrow->addWidget(Caption(QStringLiteral("平衡"), g), 1, 0);
    hrow->addWidget(balance, 1, 1);
    auto* off = MakeSlider<QvSlider>(g, "slider_off", 8013, false, 40);
    off->setEnabled(false);
    hrow->addWidget(Caption(QStringLiteral("禁用"), g), 2, 0);
    hrow->addWidget(off, 2, 1);
    box->addLayout(hrow);

    auto* faders = new QHBoxLayout;
    faders->setSpacing(6);
    const int values[] = {80, 55, 30, 12};
    const char* names[] = {"低音", "中音", "高音", "激励"};
    for (int i = 0; i < 4; ++i) {
        auto* col = new QVBoxLayout;
        col->setSpacing(4);
        auto* s = MakeSlider<QvSlider>(g, "fader", 8100 + i, true, values[i]);
        s->setMinimumHeight(108);
        auto* edit = Named(new SEdit2(g), "edit_fader", 8200 + i);
        edit->setNumber(true);
        edit->setFocusSkin(QStringLiteral("skin_edit_focus"));
        edit->setAlignment(Qt::AlignCenter);
        edit->setFixedWidth(52);
        edit->setText(QString::number(values[i]));
        col->addWidget(s, 1, Qt::AlignHCenter);
        col->addWidget(edit, 0, Qt::AlignHCenter);
        col->addWidget(Caption(QString::fromUtf8(names[i]), g));
        faders->addLayout(col);
        m_faders.append({edit, s});
    }
    box->addLayout(faders, 1);
    return g;
}

QWidget* CGalleryWindow::BuildMeters() {
    auto* g =
        Group(QStringLiteral("电平 QvProgressEX1 · QvProgressEX · QvProgress · QvVuGroup"), this);
    auto* box = new QVBoxLayout(g);
    box->setSpacing(8);

    auto* bank = new QHBoxLayout;
    bank->setSpacing(7);
    const int levels[] = {30, 26, 21, 17, 12, 6, 0};
    for (int i = 0; i < 7; ++i) {
        auto* m = Named(new QvProgressEX1(g), "meter", 2000 + i);
        m->setVertical(true);
        m->setRange(0, 30);
        m->setSkinPosBottom(QStringLiteral("skin_meter_bottom"));
        m->setSkinPosMid(QStringLiteral("skin_meter_mid"));
        m->setSkinPosTop(QStringLiteral("skin_meter_top"));
        m->setFixedWidth(10);
        m->setMinimumHeight(110);
        m->setValue(levels[i]);
        bank->addWidget(m);
        m_meters.append(m);
    }
    bank->addSpacing(10);
    auto* vu = Named(new QvVuGroup(g), "vu_group");
    auto* vuBox = new QHBoxLayout(vu);
    vuBox->setContentsMargins(0, 0, 0, 0);
    vuBox->setSpacing(3);
    for (int i = 0; i < 2; ++i) {
        auto* v = Named(new QvVumeter(vu), "vumeter", 2100 + i);
        v->setVertical(true);
        v->setRange(0, 100);
        v->setBkgndSkin(QStringLiteral("skin_rail_v"));
        v->setPosSkin(QStringLiteral("skin_rail_pos_v"));
        v->setFixedWidth(6);
        v->setValue(i == 0 ? 64 : 48);
        vuBox->addWidget(v);
    }
    vu->SetLevelSource(&m_levels);
    bank->addWidget(vu);
    bank->addStretch(1);
    box->addLayout(bank, 1);

    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(8);
    rows->setVerticalSpacing(8);
    auto* ex = Named(new QvProgressEX(g), "meter_h");
    ex->setRange(0, 30);
    ex->setDeclineSpeed(8);
    ex->setSkinPosBottom(QStringLiteral("skin_meter_bottom_h"));
    ex->setSkinPosMid(QStringLiteral("skin_meter_mid"));
    ex->setSkinPosTop(QStringLiteral("skin_meter_top_h"));
    ex->setFixedHeight(10);
    ex->setValue(22);
    rows->addWidget(Caption(QStringLiteral("EX"), g), 0, 0);
    rows->addWidget(ex, 0, 1);
    auto* p = Named(new QvProgress(g), "progress_load");
    p->setBkgndSkin(QStringLiteral("skin_progress_bg"));
    p->setPosSkin(QStringLiteral("skin_progress_pos"));
    p->setFixedHeight(6);
    p->setValue(40);
    rows->addWidget(Caption(QStringLiteral("进度"), g), 1, 0);
    rows->addWidget(p, 1, 1);
    auto* pct = Named(new SProgress(g), "progress_pct");
    pct->setShowPercent(true);
    pct->setBkgndSkin(QStringLiteral("skin_progress_bg"));
    pct->setPosSkin(QStringLiteral("skin_progress_pos"));
    pct->setFixedHeight(18);
    pct->setValue(73);
    rows->addWidget(Caption(QStringLiteral("百分比"), g), 2, 0);
    rows->addWidget(pct, 2, 1);
    box->addLayout(rows);
    return g;
}

QWidget* CGalleryWindow::BuildButtons() {
    auto* g = Group(QStringLiteral("按钮 QvCheckButton · QvRadioButton · QvComboBtn"), this);
    auto* box = new QVBoxLayout(g);
    box->setSpacing(10);

    auto* checks = new QHBoxLayout;
    checks->setSpacing(8);
    auto* mute = MakeCheck(g, "btn_mute", QString(), false);
    mute->setAutoCheck(1);
    mute->setMultitext(QStringLiteral("1"));
    mute->setText1(QStringLiteral("静音"));
    mute->setText2(QStringLiteral("已静音"));
    mute->setMultitip(QStringLiteral("1"));
    mute->setTip1(QStringLiteral("点击静音"));
    mute->setTip2(QStringLiteral("点击取消静音"));
    mute->setMulticolor(QStringLiteral("1"));
    mute->setColortext1(QColor(0xD8, 0xE0, 0xE8));
    mute->setColortext2(QColor(0x00, 0xF6, 0xFF));
    checks->addWidget(mute);
    auto* gain = MakeCheck(g, "btn_gain", QString(), true);
    gain->setAutoCheck(1);
    gain->setMultitext(QStringLiteral("1"));
    gain->setText1(QStringLiteral("增益 关"));
    gain->setText2(QStringLiteral("增益 开"));
    gain->setMulticolor(QStringLiteral("1"));
    gain->setColortext1(QColor(0xD8, 0xE0, 0xE8));
    gain->setColortext2(QColor(0x00, 0xF6, 0xFF));
    checks->addWidget(gain);
    auto* record = MakeCheck(g, "btn_record", QStringLiteral("录音"), false);
    checks->addWidget(record);  // autoCheck 0: the page decides the state
    auto* disabled = MakeCheck(g, "btn_disabled", QStringLiteral("禁用"), true);
    disabled->setEnabled(false);
    checks->addWidget(disabled);
    checks->addStretch(1);
    box->addLayout(checks);

    auto* radios = new QHBoxLayout;
    radios->setSpacing(4);
    const char* presets[] = {"流行", "摇滚", "古典", "人声", "自定义"};
    for (int i = 0; i < 5; ++i) {
        auto* r = Named(new QvRadioButton(g), "radio_preset", 8300 + i);
        r->setSkin(QStringLiteral("skin_radio_tab"));
        r->setAutoCheck(1);
        r->setText(QString::fromUtf8(presets[i]));
        r->setMulticolor(QStringLiteral("1"));
        r->setColortext1(QColor(0x8A, 0x96, 0xA3));
        r->setColortext2(QColor(0xE6, 0xFE, 0xFF));
        r->setMinimumSize(58, 30);
        r->setChecked(i == 1);
        radios->addWidget(r);
    }
    radios->addStretch(1);
    box->addLayout(radios);

    auto* last = new QHBoxLayout;
    last->setSpacing(8);
    auto* combo = Named(new QvComboBtn(g), "btn_effect_list", 8400);
    combo->setText(QStringLiteral("特效：KTV 混响"));
    combo->setMinimumWidth(150);
    connect(combo, &QPushButton::clicked, combo, [combo] {
        auto* menu = new QMenu;
        for (const char* name : {"KTV 混响", "录音棚", "演唱会", "电音"}) {
            menu->addAction(QString::fromUtf8(name), combo, [combo, name] {
                combo->setText(QStringLiteral("特效：") + QString::fromUtf8(name));
            });
        }
        combo->DropDown(menu);
    });
    last->addWidget(combo);
    auto* accent = Named(new QPushButton(QStringLiteral("应用特效"), g), "btn_apply", 8401);
    accent->setProperty("accent", true);
    last->addWidget(accent);
    last->addWidget(Named(new QPushButton(QStringLiteral("保存"), g), "btn_save", 8402));
    last->addStretch(1);
    box->addLayout(last);
    box->addStretch(1);
    return g;
}

QWidget* CGalleryWindow::BuildTexts() {
    auto* g = Group(QStringLiteral("文字与动画 SScrollText · SGifPlayer · SMoveThumb"), this);
    auto* grid = new QGridLayout(g);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);

    auto* fits = Named(new SScrollText(g), "txt_fits");
    fits->setTextAlign(QStringLiteral("left"));
    fits->setText(QStringLiteral("雨的印记.mp3"));
    grid->addWidget(Caption(QStringLiteral("放得下"), g), 0, 0);
    grid->addWidget(fits, 0, 1);
    auto* marquee = Named(new SScrollText(g), "txt_playing");
    marquee->setText(
        QStringLiteral("正在播放：夜空中最亮的星 — 逃跑计划（现场版）· 声卡内录 48 kHz"));
    grid->addWidget(Caption(QStringLiteral("滚动 0"), g), 1, 0);
    grid->addWidget(marquee, 1, 1);
    auto* reenter = Named(new SScrollText(g), "txt_playing2");
    reenter->setRolltype(1);
    reenter->setText(QStringLiteral("音效包已更新：新增“空灵人声”“复古电台”“体育场”三款特效"));
    grid->addWidget(Caption(QStringLiteral("滚动 1"), g), 2, 0);
    grid->addWidget(reenter, 2, 1);

    auto* edit = Named(new SEdit2(g), "edit_name", 8500);
    edit->setPlaceholderText(QStringLiteral("输入特效名称"));
    grid->addWidget(Caption(QStringLiteral("提示文字"), g), 3, 0);
    grid->addWidget(edit, 3, 1);

    auto* bottom = new QHBoxLayout;
    auto* gif = Named(new SGifPlayer(g), "gif_loading");
    gif->setSkin(QStringLiteral("skin_Loading_gif"));
    gif->setFixedSize(32, 32);
    bottom->addWidget(gif);
    bottom->addWidget(Caption(QStringLiteral("载入中…"), g));
    bottom->addSpacing(12);
    auto* pad = new QWidget(g);
    pad->setObjectName(QStringLiteral("thumb_pad"));
    pad->setStyleSheet(
        QStringLiteral("QWidget#thumb_pad { background: #0F1318; border: 1px solid #232B35; "
                       "border-radius: 6px; }"));
    pad->setFixedSize(150, 70);
    auto* thumbA = Named(new SMoveThumb(pad), "thumb_a", 8600);
    thumbA->setXFloat(0.2);
    thumbA->setYFloat(0.3);
    thumbA->setCenterColor(QColor(0x00, 0xC8, 0xD0));
    auto* thumbB = Named(new SMoveThumb(pad), "thumb_b", 8601);
    thumbB->setXFloat(0.65);
    thumbB->setYFloat(0.5);
    thumbB->setCanYMove(0);
    bottom->addWidget(pad);
    bottom->addWidget(Caption(QStringLiteral("拖动圆点"), g));
    bottom->addStretch(1);
    grid->addLayout(bottom, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
    return g;
}

QWidget* CGalleryWindow::BuildDialogs() {
    auto* g =
        Group(QStringLiteral("对话框与提示 SDlgInput · SInputHotKeyDlg · CTipWnd · 菜单"), this);
    auto* grid = new QGridLayout(g);
    grid->setSpacing(8);
    const struct {
        const char* name;
        const char* text;
    } buttons[] = {
        {"btn_input", "输入列表名称…"}, {"btn_hotkey", "设置热键…"},
        {"btn_msgbox", "消息框…"},      {"btn_tip", "提示"},
        {"btn_tip_warn", "警告提示"},   {"btn_menu", "托盘菜单"},
    };
    for (int i = 0; i < 6; ++i) {
        auto* b = Named(new QPushButton(QString::fromUtf8(buttons[i].text), g), buttons[i].name);
        grid->addWidget(b, i / 2, i % 2);
    }
    auto* hk = Named(new SHotKeyCtrl(g), "hotkey_preview");
    hk->SetHotKey(0x70, 2 | 4);
    grid->addWidget(Caption(QStringLiteral("热键控件"), g), 3, 0);
    grid->addWidget(hk, 3, 1);
    auto* hkValue = Named(new QLabel(g), "txt_hotkey_value");
    hkValue->setProperty("role", "hint");
    hkValue->setText(QStringLiteral("值 %1 = (2+4)×65536 + 0x70").arg(hk->HotKey()));
    grid->addWidget(hkValue, 4, 0, 1, 2);
    connect(hk, &SHotKeyCtrl::hotKeyChanged, hkValue, [hkValue](uint32_t v) {
        hkValue->setText(QStringLiteral("值 %1 = 0x%2").arg(v).arg(v, 8, 16, QLatin1Char('0')));
    });
    grid->setRowStretch(5, 1);
    return g;
}

void CGalleryWindow::RouteEvents() {
    auto& ev = Events();
    ev.OnCommand(QStringLiteral("btn_input"), [this] {
        SDlgInput dlg(QStringLiteral("我的列表"), 9, this);
        dlg.SetForbiddenChars(QString::fromLatin1(kForbidden));
        if (dlg.DoModal() == toolkit::IDOK) {
            CTipWnd::ShowTipOnWindow(this, QStringLiteral("新列表“%1”已创建").arg(dlg.Text()));
        }
    });
    ev.OnCommand(QStringLiteral("btn_hotkey"), [this] {
        SInputHotKeyDlg dlg(QStringLiteral("LAYOUT:XML_HOTKEYDLG"), (2u + 4u) * 65536u + 0x70u,
                            QString(), this);
        if (dlg.DoModal() == toolkit::IDOK) {
            CTipWnd::ShowTipOnWindow(
                this, QStringLiteral("热键：%1（%2）").arg(dlg.HotKeyText()).arg(dlg.HotKey()));
        }
    });
    ev.OnCommand(QStringLiteral("btn_msgbox"), [this] {
        toolkit::SMessageBox(this,
                             QStringLiteral("确定要删除列表“我的列表”吗？其中的特效会一并删除。"),
                             QString(), toolkit::MB_OKCANCEL);
    });
    ev.OnCommand(QStringLiteral("btn_tip"), [this] {
        CTipWnd::ShowTipOnWindow(this, QStringLiteral("特效“KTV 混响”已保存到设备"));
    });
    ev.OnCommand(QStringLiteral("btn_tip_warn"), [this] {
        CTipWnd::ShowTipOnWindow(this, QStringLiteral("此热键已经被占用，设置热键失败！"), true,
                                 3000);
    });
    ev.OnCommand(QStringLiteral("btn_menu"), [this] {
        toolkit::CMenu menu;
        if (menu.LoadMenu(QStringLiteral("SMENU:menu_tray"))) {
            menu.TrackPopupMenu(QCursor::pos(), this);
        }
    });
    ev.OnCommand(QStringLiteral("chk_animate"), [this] { SetAnimating(m_animate->isChecked()); });
    ev.On(EventKind::ValueChanging, QStringLiteral("edit_fader"),
          [this](const toolkit::ControlEvent& e) {
              for (auto& [edit, slider] : m_faders) {
                  if (edit == e.sender) {
                      slider->setValue(edit->text().toInt() + e.value);
                      edit->setText(QString::number(slider->value()));
                  }
              }
              ShowEvent(e);
          });
    ev.On(EventKind::SliderPos, QStringLiteral("fader"), [this](const toolkit::ControlEvent& e) {
        for (auto& [edit, slider] : m_faders) {
            if (slider == e.sender) {
                edit->setText(QString::number(e.value));
            }
        }
        ShowEvent(e);
    });
    ev.On(EventKind::ThumbMoving, QStringLiteral("thumb_a"),
          [this](const toolkit::ControlEvent& e) {
              if (auto* t = qobject_cast<SMoveThumb*>(e.sender.data())) {
                  t->MoveCentreTo(e.point.x() + t->width() / 2, e.point.y() + t->height() / 2);
              }
              ShowEvent(e);
          });
    ev.On(EventKind::ThumbMoving, QStringLiteral("thumb_b"),
          [this](const toolkit::ControlEvent& e) {
              if (auto* t = qobject_cast<SMoveThumb*>(e.sender.data())) {
                  t->MoveCentreTo(e.point.x() + t->width() / 2, e.point.y() + t->height() / 2);
              }
              ShowEvent(e);
          });
    for (EventKind kind :
         {EventKind::Command, EventKind::StateChanged, EventKind::SliderPos,
          EventKind::ComboSelection, EventKind::ValueChanging, EventKind::KillFocus}) {
        ev.OnAny(kind, [this](const toolkit::ControlEvent& e) { ShowEvent(e); });
    }
}

void CGalleryWindow::ShowEvent(const toolkit::ControlEvent& e) {
    m_status->setText(QStringLiteral("事件 %1（%2） · 控件 %3 · id %4 · 值 %5")
                          .arg(QString::fromLatin1(e.EventName()))
                          .arg(e.EventId())
                          .arg(e.controlName.isEmpty() ? QStringLiteral("—") : e.controlName)
                          .arg(e.controlId)
                          .arg(e.value));
}

void CGalleryWindow::SetAnimating(bool on) {
    m_levels.active = on;
    toolkit::CTimeline::Instance().SetPaused(!on);
    if (!on) {
        return;
    }
    for (QvProgressEX1* m : m_meters) {
        m->StartFallOff();  // the meters fall as when the card goes away
    }
}

void CGalleryWindow::ShowEverything() {
    const QPoint origin = geometry().topLeft();
    const int right = origin.x() + frameGeometry().width() + 24;

    // A few animation frames, so that the marquees stand mid-run.
    for (int i = 0; i < 300; ++i) {
        toolkit::CTimeline::Instance().Tick();
    }

    auto* input = new SDlgInput(QStringLiteral("新建:列表"), 9, nullptr);
    input->SetForbiddenChars(QString::fromLatin1(kForbidden));
    input->setModal(false);
    input->move(right, origin.y() + 36);
    input->show();
    m_shown.append(input);
    m_input = input;

    auto* hotkey = new SInputHotKeyDlg(QStringLiteral("LAYOUT:XML_HOTKEYDLG"),
                                       (2u + 4u) * 65536u + 0x70u, QString(), nullptr);
    hotkey->setModal(false);
    hotkey->move(right, input->geometry().bottom() + 24);
    hotkey->show();
    m_shown.append(hotkey);

    auto* box = new toolkit::CMessageBox(
        nullptr, QStringLiteral("确定要删除列表“我的列表”吗？其中的特效会一并删除。"), QString(),
        toolkit::MB_OKCANCEL);
    box->setModal(false);
    box->move(right, hotkey->geometry().bottom() + 24);
    box->show();
    m_shown.append(box);

    // The value tip of a hovered slider thumb.
    const QPoint thumb = m_tipSlider->ThumbRect().center();
    QMouseEvent move(QEvent::MouseMove, QPointF(thumb), QPointF(m_tipSlider->mapToGlobal(thumb)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_tipSlider, &move);

    m_menu = std::make_unique<toolkit::CMenu>();
    if (m_menu->LoadMenu(QStringLiteral("SMENU:menu_tray"))) {
        m_menu->Native()->popup(mapToGlobal(QPoint(56, height() - 124)));
    }
}

QList<CGalleryWindow::Shot> CGalleryWindow::TakeShots() {
    QList<Shot> shots;
    auto take = [&shots](QWidget* w) {
        if (w && w->isVisible()) {
            shots.append(Shot{w->geometry().topLeft(), w->grab()});
        }
    };
    take(this);
    for (const auto& w : m_shown) {
        take(w);
    }
    take(SSimpleToolTip::Instance());
    if (m_menu) {
        take(m_menu->Native());
    }
    if (auto* input = qobject_cast<SDlgInput*>(m_input.data())) {
        input->CheckAndClose();  // refuses the colon: a tip above the edit
        take(CTipWnd::Instance());
    }
    CTipWnd::ShowTipOnWindow(this, QStringLiteral("此热键已经被占用，设置热键失败！"), true, 60000);
    take(CTipWnd::Instance());
    return shots;
}
