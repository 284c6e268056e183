// The reverb/voice dialog and the two save dialogs on their real layouts and a real workspace:
// what the user sees on the knobs and radios, what each refusal says, what is stored where, and
// that every dialog ends when the window it belongs to goes.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <memory>

#include "OpenCard.h"
#include "ModelEvents.h"
#include "TempDir.h"
#include "UiTestSupport.h"
#include "WorkSpace.h"
#include "ConnectionEvents.h"
#include "app/ui/AppLayouts.h"
#include "ccm_util/EventBus.h"
#include "common/Device/ICommDeviceMgmt.h"
#include "effects/ui/DlgReverbPitch.h"
#include "effects/ui/DlgSaveEffect.h"
#include "effects/ui/DlgSavePreset.h"
#include "effects/ui/SavePresetLauncher.h"
#include "profile/Profile.h"
#include "toolkit/MessageBox.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/WindowEnd.h"
#include "widgets/CTipWnd.h"

namespace {


QString Name(const model::GroupPresetRecord& r) {
    return QString::fromStdU16String(model::RecordText(r.name));
}

// Clicks the dialog's save button and returns what it answered: the text of the message box it
// opened (closed again at once), "tip:" and the tip's text, or nothing.
QString Answer(QDialog& dialog, int reply = toolkit::IDOK) {
    CTipWnd::Destroy();
    QString said;
    QTimer::singleShot(0, &dialog, [&said, reply] {
        if (auto* box = qobject_cast<toolkit::CMessageBox*>(QApplication::activeModalWidget())) {
            said = box->Text() + (box->Caption() == QStringLiteral("提示") ? "" : " (caption?)");
            box->done(reply);
        }
    });
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    QCoreApplication::processEvents();  // a refusal shown as a tip leaves the timer to run here
    if (said.isEmpty() && CTipWnd::Instance()) {
        said = QStringLiteral("tip:") + CTipWnd::Instance()->Text();
    }
    return said;
}

void Fill(QDialog& dialog, int position, const QString& name) {
    dialog.findChild<QComboBox*>(QStringLiteral("combo_save_to"))->setCurrentIndex(position);
    dialog.findChild<QLineEdit*>(QStringLiteral("edit_name"))->setText(name);
}

}  // namespace

class TestEffectDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        uitest::InitUi();
        RegisterAppLayouts();
    }

    void init() {
        m_dir = std::make_unique<TempDir>();
        m_ws = std::make_unique<CWorkSpace>(SettingsFile(), m_dir->Path());
    }

    void cleanup() {
        CTipWnd::Destroy();
        m_ws.reset();
        m_dir.reset();
    }

    void reverbKnobsShowScaledValues() {
        effects::ui::CDlgReverbPitch dialog(*m_ws, 1);
        auto text = [&dialog](int id) { return dialog.FindChildByID<QLineEdit>(id)->text(); };
        m_ws->SetParam(35, 15);
        m_ws->SetParam(28, 0);
        m_ws->RefreshControls();
        QCOMPARE(text(6020), QStringLiteral("1500"));
        QCOMPARE(text(6017), QStringLiteral("-125"));
        m_ws->SetParam(28, 250);
        m_ws->RefreshControls();
        QCOMPARE(text(6017), QStringLiteral("125"));

        // Typed into the box, the voice level goes to the card as the knob's raw value.
        auto* level = dialog.FindChildByID<QLineEdit>(6017);
        level->setText(QStringLiteral("25"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(level, &out);
        QCOMPARE(m_ws->GetParam(28), 150);
        QCOMPARE(dialog.FindChildByID<QAbstractSlider>(8017)->value(), 150);

        // Opened on the voice page, both tab controls show it; the card is not there: covered.
        QCOMPARE(
            dialog.FindChildByName<QTabWidget>(QStringLiteral("tab_reverb_pitch"))->currentIndex(),
            1);
        QCOMPARE(dialog.FindChildByName<QTabWidget>(QStringLiteral("tab_caption"))->currentIndex(),
                 1);
        QWidget* cover = dialog.FindChildByName(QStringLiteral("forbid_device_conn_status"));
        QVERIFY(!cover->isHidden());
        COpenCard card;
        m_ws->SetDevice(&card, nullptr);
        m_ws->SetConnected(true);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        QVERIFY(cover->isHidden());
        m_ws->SetDevice(nullptr, nullptr);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        QVERIFY(!cover->isHidden());
    }

    // The first two reverb radios are captioned the other way round from their stored names.
    void crossedReverbPresetsAndMarks() {
        toolkit::CQtDispatcher dispatcher;
        ccm_util::CScopedDispatcher installed(&dispatcher);
        std::vector<std::pair<int, int>> marked;
        auto seen = ccm_util::CEventSubscription::Of<EventUpdatePresetBtnStatu>(
            [&marked](const EventUpdatePresetBtnStatu& e) {
                marked.emplace_back(e.group, e.item);
            });

        effects::ui::CDlgReverbPitch dialog(*m_ws, 0);
        auto* amateur = dialog.PresetRadio(2, 1);
        auto* pro = dialog.PresetRadio(2, 2);
        QCOMPARE(amateur->property("id").toInt(), 11201);
        QCOMPARE(amateur->text(), QStringLiteral("业余歌手"));
        QCOMPARE(pro->text(), QStringLiteral("专业歌手"));

        QTest::mouseClick(amateur, Qt::LeftButton);
        QCOMPARE(Name(m_ws->GroupPresets(2)[1]), QStringLiteral("专业歌手"));
        QCOMPARE(m_ws->GetParam(32), 57);  // preset 1: 1, 47, 57, 17, 7
        QCOMPARE(dialog.FindChildByID<QLineEdit>(6020)->text(), QStringLiteral("1700"));
        QVERIFY(amateur->isChecked());
        QCOMPARE(m_ws->GetSelectedPreset(2), 0);

        QTest::mouseClick(pro, Qt::LeftButton);
        QCOMPARE(Name(m_ws->GroupPresets(2)[2]), QStringLiteral("业余歌手"));
        QCOMPARE(m_ws->GetParam(32), 79);  // preset 2: 1, 47, 79, 21, 18
        QVERIFY(pro->isChecked());
        QVERIFY(!amateur->isChecked());

        // Restore goes back to the checked preset after an edit.
        m_ws->OnParamEdited(32, 5);
        QTest::mouseClick(dialog.FindChildByID<QAbstractButton>(13002), Qt::LeftButton);
        QCOMPARE(m_ws->GetParam(32), 79);

        // An unsaved custom preset: a warning, nothing applied, the marks stay.
        QTest::mouseClick(dialog.PresetRadio(2, 5), Qt::LeftButton);
        QVERIFY(CTipWnd::Instance());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("您尚未保存预设！"));
        QVERIFY(CTipWnd::Instance()->IsWarning());
        QVERIFY(pro->isChecked());
        QCOMPARE(m_ws->GetSelectedPreset(2), 1);

        QCoreApplication::processEvents();
        QCOMPARE(marked, (std::vector<std::pair<int, int>>{{2, 1}, {2, 2}}));
    }

    // Saved from the voice page: stored as custom preset 0 of group 3 with its switch marked, and
    // the radio takes the shortened name.
    void voicePresetSavedFromTheDialog() {
        effects::ui::CDlgReverbPitch dialog(*m_ws, 1);
        m_ws->SetParam(26, 1);
        QTimer::singleShot(0, &dialog, [] {
            auto* save =
                qobject_cast<effects::ui::CDlgSavePreset*>(QApplication::activeModalWidget());
            QVERIFY(save);
            QCOMPARE(save->Group(), 3);
            Fill(*save, 0, QStringLiteral("低沉的男声效果"));
            QTest::mouseClick(save->findChild<QPushButton*>(QStringLiteral("btnOK")),
                              Qt::LeftButton);
        });
        QTest::mouseClick(dialog.FindChildByID<QAbstractButton>(12003), Qt::LeftButton);
        QVERIFY(CTipWnd::Instance());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("保存成功！"));
        QVERIFY(!CTipWnd::Instance()->IsWarning());
        auto* custom = dialog.PresetRadio(3, 5);
        QCOMPARE(custom->text(), QStringLiteral("低沉的男.."));
        QCOMPARE(custom->toolTip(), QStringLiteral("低沉的男声效果"));
        QCOMPARE(m_ws->GroupPresets(3)[5].values[0], 0x81);
        QVERIFY(m_ws->ApplyGroupPreset(3, 5));
    }

    void saveEffectRefusalsInOrder() {
        COpenCard card;
        effects::ui::CDlgSaveEffect dialog(*m_ws);
        auto* position = dialog.findChild<QComboBox*>(QStringLiteral("combo_save_to"));
        QCOMPARE(position->count(), 12);
        QCOMPARE(position->currentText(), QStringLiteral("自定义3"));

        Fill(dialog, -1, QStringLiteral("户外"));
        QCOMPARE(Answer(dialog), QStringLiteral("请选择保存位置！"));
        Fill(dialog, 0, QStringLiteral(" \t "));
        QCOMPARE(Answer(dialog), QStringLiteral("音效名称不能为空！"));
        Fill(dialog, 0, QStringLiteral(" 户外 "));
        QCOMPARE(Answer(dialog), QStringLiteral("您未连接设备，请先连接设备！"));

        m_ws->SetDevice(&card, nullptr);
        m_ws->SetConnected(true);
        QCOMPARE(Answer(dialog), QStringLiteral("tip:不能与默认音效名称相同！"));
        QVERIFY(m_ws->SaveMyCustomEffect(0, u"我的"));
        Fill(dialog, 1, QStringLiteral("我的"));
        QCOMPARE(Answer(dialog), QStringLiteral("tip:自定义音效中已存在相同名称！"));
        QCOMPARE(dialog.result(), 0);

        // Its own slot: replaced once the user agrees to it.
        const QString question = QStringLiteral("“自定义3”中已保存音效“我的”。要用新的替换它吗？");
        Fill(dialog, 0, QStringLiteral("我的二"));
        QCOMPARE(Answer(dialog, toolkit::IDCANCEL), question);
        QCOMPARE(dialog.result(), 0);
        QCOMPARE(QString::fromStdU16String(model::RecordText(m_ws->CustomEffects()[0].name)),
                 QStringLiteral("我的"));
        QCOMPARE(Answer(dialog), question);
        QCOMPARE(dialog.result(), toolkit::IDOK);
        QCOMPARE(QString::fromStdU16String(model::RecordText(m_ws->CustomEffects()[0].name)),
                 QStringLiteral("我的二"));
        m_ws->SetDevice(nullptr, nullptr);
    }

    void saveEffectReportsAFailedWrite() {
        COpenCard card;
        CWorkSpace ws(m_dir->Path(), m_dir->Path());  // a folder where the file should be
        ws.SetDevice(&card, nullptr);
        ws.SetConnected(true);
        effects::ui::CDlgSaveEffect dialog(ws);
        Fill(dialog, 3, QStringLiteral("新的"));
        QCOMPARE(Answer(dialog), QStringLiteral("保存失败！"));
        QCOMPARE(dialog.result(), 0);
        ws.SetDevice(nullptr, nullptr);
    }

    // Without a card the preset dialog still stores; "自定义2" of the equaliser is key "1_1".
    void savePresetRefusalsInOrderAndItsKey() {
        effects::ui::CDlgSavePreset dialog(*m_ws, 1);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("txt_title"))->text(),
                 QStringLiteral("保存预设-均衡"));
        QCOMPARE(dialog.findChild<QComboBox*>(QStringLiteral("combo_save_to"))->currentIndex(), -1);

        QCOMPARE(Answer(dialog), QStringLiteral("请选择预设的保存位置！"));
        Fill(dialog, 1, QStringLiteral("\r\n"));
        QCOMPARE(Answer(dialog), QStringLiteral("预设名称不能为空！"));
        Fill(dialog, 1, QStringLiteral("明亮 "));
        QCOMPARE(Answer(dialog), QStringLiteral("tip:已存在相同的预设名称！"));
        QCOMPARE(dialog.result(), 0);

        Fill(dialog, 1, QStringLiteral("人声清晰"));
        QCOMPARE(Answer(dialog), QString());  // an empty slot: no question
        QCOMPARE(dialog.result(), toolkit::IDOK);
        // Over it again: asked first, and Cancel keeps it.
        effects::ui::CDlgSavePreset again(*m_ws, 1);
        Fill(again, 1, QStringLiteral("更清晰"));
        QVERIFY(Answer(again, toolkit::IDCANCEL).contains(QStringLiteral("“人声清晰”")));
        QCOMPARE(again.result(), 0);
        model::GroupPresetRecord stored{};
        QVERIFY(platform::profile::GetPrivateProfileStruct("CustomPreset", "1_1", &stored,
                                                           sizeof stored, SettingsFile()));
        QCOMPARE(Name(stored), QStringLiteral("人声清晰"));
        QCOMPARE(stored.count, 15);
    }

    void dialogsEndWhenTheirOwnerGoes_data() {
        QTest::addColumn<int>("which");
        QTest::newRow("reverb") << 0;
        QTest::newRow("save effect") << 1;
        QTest::newRow("save preset") << 2;
    }

    void dialogsEndWhenTheirOwnerGoes() {
        QFETCH(int, which);
        auto* owner = new toolkit::CHostWindow;
        QPointer<QWidget> alive(owner);
        owner->show();
        QTimer::singleShot(0, owner, [owner] { toolkit::DestroyWindow(owner); });
        int result = -1;
        if (which == 0) {
            effects::ui::CDlgReverbPitch dialog(*m_ws, 0, owner);
            QCOMPARE(static_cast<void*>(m_ws->ActiveBinder()),
                     static_cast<void*>(&dialog.Binder()));
            result = dialog.DoModal();
        } else if (which == 1) {
            effects::ui::CDlgSaveEffect dialog(*m_ws, owner);
            result = dialog.DoModal();
        } else {
            result = effects::ui::OpenSavePreset(owner, *m_ws, 2);
        }
        QCOMPARE(result, toolkit::IDCANCEL);
        QVERIFY(m_ws->ActiveBinder() == nullptr);  // the dialog's binder went with it
        QTRY_VERIFY(!alive);
    }

private:
    std::filesystem::path SettingsFile() const { return m_dir->Path() / "LyntConfigData.db"; }

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<CWorkSpace> m_ws;
};

QTEST_MAIN(TestEffectDialogs)
#include "tst_effect_dialogs.moc"
