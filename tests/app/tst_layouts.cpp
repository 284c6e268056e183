// The program's layouts: every control the pages look up is there under its name and id, in the
// area that owns it, with the class the page expects; the windows have their sizes.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "VeloraVersion.h"
#include "app/ui/AppLayouts.h"
#include "toolkit/ControlEvent.h"
#include "toolkit/Controls.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Layouts.h"
#include "toolkit/Menu.h"
#include "toolkit/SSliderBar.h"
#include "toolkit/Skin.h"
#include "toolkit/Theme.h"
#include "toolkit/Toolkit.h"
#include "widgets/Widgets.h"

namespace {

bool IsInside(const QWidget* w, const QWidget* area) {
    return w && area && (w == area || area->isAncestorOf(w));
}

QStringList TabTitles(const QTabWidget* tabs) {
    QStringList titles;
    for (int i = 0; tabs && i < tabs->count(); ++i) {
        titles << tabs->tabText(i);
    }
    return titles;
}

}  // namespace

class TestLayouts : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<toolkit::CHostWindow> main;
    QList<toolkit::ControlEvent> contextMenus;

    QWidget* Named(const char* name) const {
        return main->FindChildByName(QString::fromLatin1(name));
    }

    // One row per control: name ("" when the control has only an id), id (0 when it has only a
    // name), a class tag it must answer to ("" for any), and the named area it must sit in.
    static void AddRow(const char* name, int id, const char* tag, const char* area) {
        const QByteArray label =
            QByteArray(*name ? name : "") + (id ? "#" + QByteArray::number(id) : QByteArray());
        QTest::newRow(label.constData()) << QString::fromUtf8(name) << id << QByteArray(tag)
                                         << QString::fromLatin1(area);
    }

private slots:
    void initTestCase() {
        toolkit::Initialize();
        widgets::RegisterWidgets();
        RegisterAppLayouts();
        toolkit::ApplyTheme(qApp);
        main = std::make_unique<toolkit::CHostWindow>(QStringLiteral("LAYOUT:XML_MAINWND"));
        main->Events().OnAny(toolkit::EventKind::ContextMenu,
                             [this](const toolkit::ControlEvent& ev) { contextMenus << ev; });
    }

    void cleanupTestCase() { main.reset(); }

    void mainWindowIsFixedAt860x675() {
        QVERIFY(toolkit::HasLayout(QStringLiteral("XML_MAINWND")));
        QCOMPARE(main->size(), QSize(860, 675));
        QCOMPARE(main->minimumSize(), QSize(860, 675));
        QCOMPARE(main->maximumSize(), QSize(860, 675));
        QCOMPARE(main->windowTitle(), QStringLiteral("Orin LYNT!"));
    }

    void mainControls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<QString>("area");
        // Caption, switches and the top right.
        AddRow("img_logo", 0, "img", "wnd_caption");
        AddRow("txt_eff_title", 0, "text", "wnd_caption");
        AddRow("btn_menu", 0, "button", "wnd_caption");
        AddRow("btn_min", 0, "button", "wnd_caption");
        AddRow("btn_close", 2, "button", "wnd_caption");
        AddRow("", 7020, "qvcheckbtn", "param_content");
        AddRow("", 7021, "qvcheckbtn", "param_content");
        AddRow("", 7022, "qvcheckbtn", "param_content");
        AddRow("chk_hotkey_switch", 0, "qvcheckbtn", "param_content");
        AddRow("link_website", 0, "text", "param_content");
        AddRow("Oneclick_soundTrack", 0, "button", "param_content");
        AddRow("save_effect_btn", 12100, "button", "param_content");
        AddRow("save_as_btn", 12101, "button", "param_content");
        // The mixer: the include's knobs, boxes, switches and meters, the noise and tone controls.
        AddRow("volume_container_wnd", 0, "", "param_content");
        for (int id : {8000, 8001, 8002, 8003, 8004, 8005, 8006, 8010, 8011}) {
            AddRow("", id, "qvrotaryknob", "volume_container_wnd");
            AddRow("", id - 2000, "edit2", "volume_container_wnd");
            AddRow("", id - 1000, "qvcheckbtn", "volume_container_wnd");
        }
        for (int id = 2000; id <= 2006; ++id) {
            AddRow("", id, "qvprogressex1", "volume_container_wnd");
        }
        AddRow("", 8009, "qvrotaryknob", "param_content");
        AddRow("", 6009, "edit2", "param_content");
        AddRow("", 8012, "qvslider2", "param_content");
        // Effects and presets.
        AddRow("common_eff_wnd", 0, "", "param_content");
        AddRow("tab_effect", 0, "", "common_eff_wnd");
        for (int id = 10000; id <= 10018; ++id) {
            AddRow("", id, "qvcheckbtn", "tab_effect");
        }
        AddRow("progress_eff_download", 0, "progress", "common_eff_wnd");
        AddRow("reverb_pitch_wnd", 0, "", "param_content");
        AddRow("tab_reverb_pitch", 0, "", "reverb_pitch_wnd");
        for (int id = 11201; id <= 11204; ++id) {
            AddRow("", id, "qvradiobtn", "tab_reverb_pitch");
        }
        AddRow("btn_reverb_pitch_more", 1000, "button", "reverb_pitch_wnd");
        AddRow("eq_wnd", 0, "", "param_content");
        for (int id = 11101; id <= 11104; ++id) {
            AddRow("", id, "qvradiobtn", "eq_wnd");
        }
        AddRow("btn_eq_more", 1001, "button", "eq_wnd");
        // Effect lists (the include's pages are the tab's pages).
        AddRow("tab_efflist", 0, "", "param_content");
        AddRow("trctl_kx_eff_list", 0, "", "tab_efflist");
        AddRow("trctl_cloud_effectt", 0, "", "tab_efflist");
        AddRow("ani_fetch_cloud_eff", 0, "gifplayer", "tab_efflist");
        AddRow("wnd_cloud_eff_refresh", 0, "", "tab_efflist");
        AddRow("btn_cloud_retry", 0, "button", "wnd_cloud_eff_refresh");
        // Sound pads, player bar and recording panel.
        AddRow("sound_wnd", 0, "", "param_content");
        AddRow("tab_sound", 0, "", "sound_wnd");
        AddRow("scrollview_sound_local", 0, "", "tab_sound");
        AddRow("scrollview_sound_common", 0, "", "tab_sound");
        AddRow("scrollview_sound_download", 0, "", "tab_sound");
        AddRow("container_sound", 0, "", "sound_wnd");
        AddRow("check_mood_playAndstop", 0, "qvcheckbtn", "container_sound");
        AddRow("mood_name", 0, "scrolltext", "container_sound");
        AddRow("txt_sound_play_time", 0, "text", "container_sound");
        AddRow("txt_sound_total_time", 0, "text", "container_sound");
        AddRow("progress_sound_play", 0, "qvslider", "container_sound");
        AddRow("btn_volume", 0, "button", "container_sound");
        AddRow("container_record", 0, "", "sound_wnd");
        AddRow("txt_record_time", 0, "text", "container_record");
        AddRow("btn_record", 0, "qvcheckbtn", "container_record");
        AddRow("btn_record_playback", 0, "qvcheckbtn", "container_record");
        AddRow("btn_record_save", 0, "button", "container_record");
        AddRow("txt_play_time", 0, "text", "container_record");
        AddRow("slider_play_progress", 0, "qvslider", "sound_wnd");
        AddRow("channel_volume", 0, "qvprogressex", "sound_wnd");
        AddRow("ani_fetch_cloud_sound", 0, "gifplayer", "param_content");
        AddRow("btn_cloud_sound_retry", 0, "button", "param_content");
        // The grey overlays lie over the page, outside the bound controls.
        AddRow("forbid_not_commom_param", 0, "", "XML_MAINWND");
        AddRow("forbid_not_electric_param", 0, "", "XML_MAINWND");
        AddRow("forbid_reverb_param", 0, "", "XML_MAINWND");
        AddRow("forbid_device_conn_status", 0, "", "XML_MAINWND");
        AddRow("forbid_operation", 0, "", "XML_MAINWND");
    }

    void mainControls() {
        QFETCH(QString, name);
        QFETCH(int, id);
        QFETCH(QByteArray, tag);
        QFETCH(QString, area);

        QWidget* byName = name.isEmpty() ? nullptr : main->FindChildByName(name);
        QWidget* byId = id ? main->FindChildByID(id) : nullptr;
        if (!name.isEmpty()) {
            QVERIFY2(byName, "not found by name");
        }
        if (id) {
            QVERIFY2(byId, "not found by id");
            QCOMPARE(toolkit::ControlId(byId), id);
        }
        if (byName && id) {
            QCOMPARE(byId, byName);
        }
        QWidget* control = byName ? byName : byId;
        if (!tag.isEmpty()) {
            QVERIFY2(toolkit::IsClass(control, tag.constData()),
                     qPrintable(QStringLiteral("%1 is not a %2")
                                    .arg(QString::fromLatin1(control->metaObject()->className()),
                                         QString::fromLatin1(tag))));
        }
        QWidget* container = area == QLatin1String("XML_MAINWND") ? main.get() : Named(qPrintable(area));
        QVERIFY2(container, "area missing");
        QVERIFY2(IsInside(control, container), "outside its area");
    }

    // Ids are how the pages tell controls apart: no id may appear twice in the whole window.
    void idsAreUnique() {
        QHash<int, QString> seen;
        for (QWidget* w : main->findChildren<QWidget*>()) {
            const int id = toolkit::ControlId(w);
            if (id == 0) {
                continue;
            }
            QVERIFY2(!seen.contains(id), qPrintable(QStringLiteral("id %1: %2 and %3")
                                                        .arg(id)
                                                        .arg(seen.value(id), w->objectName())));
            seen.insert(id, w->objectName());
        }
    }

    void tabsHaveTheirPages_data() {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("tab_effect") << "tab_effect" << QStringList{"设备音效", "我的音效"};
        QTest::newRow("tab_reverb_pitch") << "tab_reverb_pitch" << QStringList{"混响", "变声"};
        QTest::newRow("tab_efflist") << "tab_efflist" << QStringList{"KX音效", "云音效"};
        QTest::newRow("tab_sound") << "tab_sound" << QStringList{"本地", "收藏夹", "已下载"};
    }

    void tabsHaveTheirPages() {
        QFETCH(QString, tab);
        QFETCH(QStringList, titles);
        auto* tabs = main->FindChildByName<QTabWidget>(tab);
        QVERIFY(tabs);
        QCOMPARE(TabTitles(tabs), titles);
    }

    // The effect buttons sit on the page they belong to: the card's seven, then My Effects.
    void effectButtonsOnTheirPages() {
        auto* tabs = main->FindChildByName<QTabWidget>(QStringLiteral("tab_effect"));
        QVERIFY(tabs);
        for (int id = 10000; id <= 10018; ++id) {
            QWidget* page = tabs->widget(id < 10007 ? 0 : 1);
            QVERIFY2(IsInside(main->FindChildByID(id), page), qPrintable(QString::number(id)));
        }
        auto* first = main->FindChildByID<QAbstractButton>(10007);
        auto* last = main->FindChildByID<QAbstractButton>(10018);
        QCOMPARE(first->text(), QStringLiteral("自定义3"));
        QCOMPARE(last->text(), QStringLiteral("自定义14"));
    }

    void contextMenusReachTheWindow_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("id");
        QTest::newRow("device effect") << QString() << 10000;
        QTest::newRow("my effect") << QString() << 10018;
        QTest::newRow("kx tree") << QStringLiteral("trctl_kx_eff_list") << 0;
        QTest::newRow("cloud tree") << QStringLiteral("trctl_cloud_effectt") << 0;
    }

    void contextMenusReachTheWindow() {
        QFETCH(QString, name);
        QFETCH(int, id);
        QWidget* control = id ? main->FindChildByID(id) : main->FindChildByName(name);
        QVERIFY(control);
        contextMenus.clear();
        emit control->customContextMenuRequested(QPoint(2, 2));
        QCOMPARE(contextMenus.size(), 1);
        QCOMPARE(contextMenus[0].controlId, id);
        QCOMPARE(contextMenus[0].controlName, control->objectName());
    }

    // Hidden until a page shows them.
    void hiddenByDefault_data() {
        QTest::addColumn<QString>("name");
        for (const char* n :
             {"forbid_not_commom_param", "forbid_not_electric_param", "forbid_reverb_param",
              "forbid_device_conn_status", "forbid_operation", "Oneclick_soundTrack",
              "save_effect_btn", "save_as_btn", "chk_monitor_switch", "progress_eff_download",
              "ani_fetch_cloud_sound", "btn_cloud_sound_retry", "ani_fetch_cloud_eff",
              "wnd_cloud_eff_refresh", "channel_volume"}) {
            QTest::newRow(n) << QString::fromLatin1(n);
        }
    }

    void hiddenByDefault() {
        QFETCH(QString, name);
        QWidget* w = main->FindChildByName(name);
        QVERIFY(w);
        QVERIFY(w->isHidden());
    }

    // The overlays lie over the areas they block and above them, so that they take the input.
    void overlaysCoverTheirAreas_data() {
        QTest::addColumn<QString>("overlay");
        QTest::addColumn<QStringList>("areas");
        QTest::newRow("common") << "forbid_not_commom_param"
                                << QStringList{"reverb_pitch_wnd", "eq_wnd"};
        QTest::newRow("electric") << "forbid_not_electric_param" << QStringList{"eq_wnd"};
        QTest::newRow("reverb") << "forbid_reverb_param" << QStringList{"reverb_pitch_wnd"};
        QTest::newRow("device") << "forbid_device_conn_status"
                                << QStringList{"wnd_mixer", "common_eff_wnd", "reverb_pitch_wnd",
                                               "eq_wnd"};
        QTest::newRow("operation")
            << "forbid_operation"
            << QStringList{"wnd_mixer", "common_eff_wnd", "wnd_efflist", "sound_wnd"};
    }

    void overlaysCoverTheirAreas() {
        QFETCH(QString, overlay);
        QFETCH(QStringList, areas);
        QWidget* cover = main->FindChildByName(overlay);
        QVERIFY(cover);
        cover->show();
        const QRect covered(cover->mapTo(main.get(), QPoint(0, 0)), cover->size());
        for (const QString& name : areas) {
            QWidget* area = main->FindChildByName(name);
            QVERIFY(area);
            const QRect rect(area->mapTo(main.get(), QPoint(0, 0)), area->size());
            QVERIFY2(covered.contains(rect), qPrintable(name));
            const QPoint centre = rect.center();
            QWidget* top = main->childAt(centre);
            QVERIFY2(IsInside(top, cover), qPrintable(name + " is above the overlay"));
        }
        cover->hide();
    }

    void smallWindows_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("device info") << "XML_DLGDEVICEINFO" << QSize(388, 240) << "设备信息"
                                     << QStringList{"txt_info", "btnOK", "btn_close", "txt_title"}
                                     << QList<int>{1, 2};
        QTest::newRow("about") << "XML_ABOUT" << QSize(360, 174) << "About"
                               << QStringList{"img_logo", "img_about_caption", "txt_ver",
                                              "link_website", "txt_publisher", "txt_copyright",
                                              "btn_close"}
                               << QList<int>{2};
        QTest::newRow("hidden window")
            << "XML_MAINHIDEWND" << QSize(0, 0) << "QVMainHideWindow" << QStringList{}
            << QList<int>{};
    }

    void smallWindows() {
        QFETCH(QString, layout);
        QFETCH(QSize, size);
        QFETCH(QString, title);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, ids);
        QWidget root;
        QVERIFY(toolkit::BuildLayout(layout, &root));
        QCOMPARE(root.size(), size);
        QCOMPARE(root.windowTitle(), title);
        for (const QString& name : names) {
            QVERIFY2(toolkit::FindByName(&root, name), qPrintable(name));
        }
        for (int id : ids) {
            QVERIFY2(toolkit::FindById(&root, id), qPrintable(QString::number(id)));
        }
    }

    // A slider is at least as thick as its thumb's skin: a thinner one cut the round thumbs of
    // the player bars to "( )".
    void slidersHaveRoomForTheirThumbs() {
        const QList<SSliderBar*> sliders = main->findChildren<SSliderBar*>();
        QVERIFY(sliders.size() >= 2);
        for (SSliderBar* slider : sliders) {
            const toolkit::SkinPtr thumb = toolkit::GetSkin(slider->thumbSkin());
            if (!thumb) {
                continue;
            }
            const int room = slider->IsVertical() ? slider->width() : slider->height();
            const int needed =
                slider->IsVertical() ? thumb->Size().width() : thumb->Size().height();
            QVERIFY2(room >= needed, qPrintable(slider->objectName()));
        }
    }

    void hiddenWindowIsNamed() {
        QWidget root;
        QVERIFY(toolkit::BuildLayout(QStringLiteral("LAYOUT:XML_MAINHIDEWND"), &root));
        QCOMPARE(root.objectName(), QStringLiteral("mainHideWindow"));
    }

    void aboutTexts() {
        QWidget root;
        QVERIFY(toolkit::BuildLayout(QStringLiteral("XML_ABOUT"), &root));
        QCOMPARE(toolkit::FindByName<QLabel>(&root, QStringLiteral("txt_ver"))->text(),
                 QStringLiteral(VELORA_VERSION));
        QCOMPARE(toolkit::FindByName<QLabel>(&root, QStringLiteral("link_website"))->toolTip(),
                 QStringLiteral("点击访问Orin官网"));
        auto* info = new QWidget;
        QVERIFY(toolkit::BuildLayout(QStringLiteral("XML_DLGDEVICEINFO"), info));
        QVERIFY(toolkit::FindByName<QLabel>(info, QStringLiteral("txt_info"))->wordWrap());
        delete info;
    }

    void mainMenu() {
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenu(QStringLiteral("SMENU:menu_main")));
        QCOMPARE(menu.ItemIds(), (QList<int>{1, 2, 11, 4, 3}));
        QCOMPARE(menu.FindItem(1)->text(), QStringLiteral("设备信息"));
        QCOMPARE(menu.FindItem(2)->text(), QStringLiteral("检查更新"));
        QCOMPARE(menu.FindItem(11)->text(), QStringLiteral("诊断"));
        QCOMPARE(menu.FindItem(3)->text(), QStringLiteral("关于"));
    }
};

QTEST_MAIN(TestLayouts)
#include "tst_layouts.moc"
