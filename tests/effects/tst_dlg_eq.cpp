// The equaliser dialog on a real workspace: its sliders edit parameters 9-23 and the curve follows,
// presets apply and restore, a save refreshes the captions, the dialog ends with its owner; and
// the curve widget's pixels: nothing off the zero line while flat, the moved band filled.
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>

#include "OpenCard.h"
#include "ConnectionEvents.h"
#include "EqBands.h"
#include "ModelEvents.h"
#include "TempDir.h"
#include "UiTestSupport.h"
#include "WorkSpace.h"
#include "common/Device/ICommDeviceMgmt.h"
#include "effects/ui/DlgEQ.h"
#include "ModelEvents.h"
#include "toolkit/WindowEnd.h"
#include "widgets/CTipWnd.h"
#include "widgets/QvEqCurve.h"
#include "widgets/QvEqGrid.h"
#include "widgets/QvSlider.h"

namespace {


// Moves a slider by one step as the user does, so that it raises its position event.
void StepTo(QvSlider* slider, int value) {
    slider->setValue(value - 1);
    QTest::keyClick(slider, Qt::Key_Up);
}

QImage RenderCurve(QvEqCurve* curve) {
    QImage image(curve->size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    curve->render(&image, QPoint(), QRegion(), {});
    return image;
}

}  // namespace

class TestDlgEQ : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void init() {
        m_dir = std::make_unique<TempDir>();
        m_ws = std::make_unique<CWorkSpace>(m_dir->Path() / "LyntConfigData.db", m_dir->Path());
        for (int id = model::kParamEqFirst; id <= model::kParamEqLast; ++id) {
            m_ws->SetParam(id, 120);
        }
    }

    void cleanup() {
        CTipWnd::Destroy();
        QVERIFY(m_ws->ActiveBinder() == nullptr);
        m_ws.reset();
        m_dir.reset();
    }

    void everySliderEditsItsParameterAndRaisesItsBand() {
        CDlgEQ dlg(*m_ws);
        QVERIFY(m_ws->ActiveBinder() == &dlg.Binder());
        const EqCurveModel& curve = dlg.Curve()->Model();
        QCOMPARE(curve.BandCount(), 15);
        for (int n = 0; n < 15; ++n) {
            auto* slider = dlg.FindChildByID<QvSlider>(CDlgEQ::kSliderFirst + n);
            auto* text = dlg.FindChildByID<QLineEdit>(CDlgEQ::kTextFirst + n);
            QVERIFY(slider && text);
            QCOMPARE(slider->maximum(), 240);
            const double hz = eq::kCardBandHz[size_t(n)];

            StepTo(slider, 180);
            QCOMPARE(m_ws->GetParam(9 + n), 180);
            QCOMPARE(text->text(), QString("6.0"));
            QCOMPARE(curve.CurrentBand(), n);
            QVERIFY2(std::abs(curve.TotalResponseAtHz(hz) - 6.0) < 0.05,
                     qPrintable(QString::number(n)));

            StepTo(slider, 120);  // flat again: no highlight, nothing left on the curve
            QCOMPARE(m_ws->GetParam(9 + n), 120);
            QCOMPARE(curve.CurrentBand(), -1);
            QVERIFY(std::abs(curve.TotalResponseAtHz(hz)) < 1e-9);
        }
        // A report of the card reaches the curve too, clamped to the parameter's range.
        EventParamChanged report;
        report.params = {{17, 999}};
        ccm_util::EventBus::Instance().Fire(report);
        QVERIFY(std::abs(curve.TotalResponseAtHz(1000) - 12.0) < 0.05);
    }

    void presetsApplyRestoreAndRefuseUnsavedOnes() {
        m_ws->SetSelectedPreset(1, 2);
        CDlgEQ dlg(*m_ws);
        QVERIFY(dlg.PresetButton(3)->isChecked());  // the selection is shown at start

        const model::GroupPresetRecord magnetic = m_ws->GroupPresets(1)[2];  // "磁性"
        dlg.PresetButton(2)->click();
        QVERIFY(dlg.PresetButton(2)->isChecked());
        QVERIFY(!dlg.PresetButton(3)->isChecked());
        QCOMPARE(m_ws->GetSelectedPreset(1), 1);
        for (int n = 0; n < 15; ++n) {
            QCOMPARE(m_ws->GetParam(9 + n), magnetic.values[n]);
            QCOMPARE(dlg.FindChildByID<QvSlider>(CDlgEQ::kSliderFirst + n)->value(),
                     magnetic.values[n]);
            QCOMPARE(dlg.Curve()->Model().Band(n).gain, magnetic.values[n] / 10.0 - 12);
        }

        // Restore re-applies the checked preset over the user's edit.
        StepTo(dlg.FindChildByID<QvSlider>(CDlgEQ::kSliderFirst + 4), 200);
        dlg.FindChildByID<QAbstractButton>(CDlgEQ::kRestore)->click();
        QCOMPARE(m_ws->GetParam(13), magnetic.values[4]);

        // "自定义3" was never saved: a warning, nothing applied, the selection kept.
        dlg.PresetButton(7)->click();
        QVERIFY(CTipWnd::Instance() && CTipWnd::Instance()->IsWarning());
        QCOMPARE(CTipWnd::Instance()->Text(), QString("您尚未保存预设！"));
        QVERIFY(!dlg.PresetButton(7)->isChecked());
        QCOMPARE(m_ws->GetSelectedPreset(1), 1);
        QCOMPARE(m_ws->GetParam(9 + 1), magnetic.values[1]);
    }

    void restoreWithoutPresetTakesTheEffectsValues() {
        const int effectValue = m_ws->BuiltinEffectList()[0].params[15];
        CDlgEQ dlg(*m_ws);
        StepTo(dlg.FindChildByID<QvSlider>(CDlgEQ::kSliderFirst + 6),
               effectValue == 200 ? 201 : 200);
        dlg.FindChildByID<QAbstractButton>(CDlgEQ::kRestore)->click();
        QCOMPARE(m_ws->GetParam(15), effectValue);
        QCOMPARE(dlg.FindChildByID<QvSlider>(CDlgEQ::kSliderFirst + 6)->value(), effectValue);
    }

    void savedPresetGetsItsCaption() {
        int renamed = 0;
        auto sub = ccm_util::CEventSubscription::Of<EventUpdateCustomPresetName>(
            [&](const EventUpdateCustomPresetName&) { ++renamed; });
        CDlgEQ dlg(*m_ws);
        int saves = 0;
        dlg.SetSavePresetOpener([&](QWidget* parent, CWorkSpace& ws, int group) {
            ++saves;
            if (parent != &dlg || group != 1) {
                return 0;
            }
            return ws.SaveCustomPreset(u"我的人声七个字", 1, 0) ? 1 : 0;
        });
        dlg.FindChildByID<QAbstractButton>(CDlgEQ::kSavePreset)->click();
        QCOMPARE(saves, 1);
        QCOMPARE(dlg.PresetButton(5)->text(), QString("我的人声.."));
        QCOMPARE(dlg.PresetButton(5)->toolTip(), QString("我的人声七个字"));
        QCOMPARE(CTipWnd::Instance()->Text(), QString("保存成功！"));
        QVERIFY(!CTipWnd::Instance()->IsWarning());
        QCOMPARE(renamed, 1);

        dlg.SetSavePresetOpener([](QWidget*, CWorkSpace&, int) { return 0; });  // cancelled
        dlg.FindChildByID<QAbstractButton>(CDlgEQ::kSavePreset)->click();
        QCOMPARE(renamed, 1);
    }

    void overlayFollowsTheCard() {
        COpenCard manager;
        m_ws->SetDevice(&manager, nullptr);
        CDlgEQ dlg(*m_ws);
        QWidget* overlay = dlg.FindChildByName(QStringLiteral("forbid_device_conn_status"));
        QVERIFY(overlay && !overlay->isHidden());
        m_ws->SetConnected(true);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        QVERIFY(overlay->isHidden());
        m_ws->SetDevice(nullptr, nullptr);
    }

    void endsWhenItsOwnerGoes() {
        const size_t listeners =
            ccm_util::EventBus::Instance().SubscriberCount(EventParamChanged::EventID);
        QPointer<toolkit::CHostWindow> owner = new toolkit::CHostWindow();
        {
            CDlgEQ dlg(*m_ws, owner);
            QTimer::singleShot(0, owner, [&] { toolkit::DestroyWindow(owner); });
            QCOMPARE(dlg.DoModal(), toolkit::IDCANCEL);
            QVERIFY(m_ws->ActiveBinder() == nullptr);  // the page under it takes the card again
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(owner.isNull());
        QCOMPARE(ccm_util::EventBus::Instance().SubscriberCount(EventParamChanged::EventID),
                 listeners);
    }

    void curvePaintsOnlyTheZeroLineWhileFlatAndFillsTheMovedBand() {
        QvEQ eq;
        eq.setZeroXFreq(20);
        auto* curve = new QvEqCurve(&eq);
        curve->setColorLine(QColor(0, 246, 255));
        curve->setColorCurrLine(QColor(128, 128, 128, 80));
        new QvEqGrid(&eq);
        eq.resize(736, 244);
        eq.ensurePolished();
        eq::AddCardBands(eq.Model());
        const EqPlotGeometry& g = eq.Geometry();
        QCOMPARE(curve->size(), eq.size());
        const int x = int(g.XOfHz(1000));
        const int y0 = g.ZeroLineY();

        const auto offZeroLine = [&](const QImage& image) {
            int lit = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int px = 0; px < image.width(); ++px) {
                    lit += std::abs(y - y0) > 2 && image.pixel(px, y) != qRgb(0, 0, 0);
                }
            }
            return lit;
        };
        QImage flat = RenderCurve(curve);
        QCOMPARE(offZeroLine(flat), 0);
        QCOMPARE(flat.pixelColor(x, y0).blue(), 255);  // the total line lies on 0 dB

        // A band with unusable values draws nothing either.
        eq.SetBandParam(3, std::nan(""), EqCurveModel::kGain);
        QCOMPARE(offZeroLine(RenderCurve(curve)), 0);
        eq.SetBandParam(3, 0.0, EqCurveModel::kGain);

        QVERIFY(eq.SetBandParam(8, 6.0, EqCurveModel::kGain));
        const QImage raised = RenderCurve(curve);
        const QColor fill = raised.pixelColor(x, int(g.DbY(3.0)));
        QVERIFY2(fill.red() > 20 && std::abs(fill.red() - fill.blue()) < 4,
                 qPrintable(fill.name()));                                         // the grey fill
        QCOMPARE(raised.pixelColor(x, int(std::lround(g.DbY(6.0)))).blue(), 255);  // the peak
        QCOMPARE(raised.pixel(x, int(g.DbY(9.0))), qRgb(0, 0, 0));  // nothing above it
        QCOMPARE(raised.pixel(int(g.XOfHz(100)), int(g.DbY(3.0))), qRgb(0, 0, 0));
    }

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<CWorkSpace> m_ws;
};

QTEST_MAIN(TestDlgEQ)
#include "tst_dlg_eq.moc"
