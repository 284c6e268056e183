// The "诊断" dialog on real widgets: it stays live while the checks run, shows what they found,
// runs them again, and ends cleanly when the program ends it with a run in progress.
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QTest>

#include "DlgDoctor.h"
#include "TempDir.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/Toolkit.h"
#include "toolkit/WindowEnd.h"

class TestDlgDoctor : public QObject {
    Q_OBJECT
    toolkit::CQtDispatcher m_dispatcher;
    std::unique_ptr<ccm_util::CScopedDispatcher> m_installed;
    TempDir m_dir;

    doctor::Options Options() const {
        doctor::Options options;
        options.ruleFolders = {m_dir.Path() / "rules"};  // none: the rule check fails
        options.dataFolder = m_dir.Path();
        options.cloudUrl = "http://127.0.0.1:9/tuning";  // nobody listens there
        options.timeoutMs = 1000;
        return options;
    }

    QString Shown(CDlgDoctor& dialog) {
        auto* result = dialog.findChild<QTextBrowser*>(QStringLiteral("txt_result"));
        return result ? result->toPlainText() : QString();
    }

private slots:
    void initTestCase() {
        toolkit::Initialize();
        m_installed = std::make_unique<ccm_util::CScopedDispatcher>(&m_dispatcher);
        qputenv("LYNT_VIRTUAL_CARD_DIR", QByteArray::fromStdString(m_dir.Path().string()));
    }

    void showsEveryCheckWithWhatToDo() {
        CDlgDoctor dialog(nullptr, Options());
        QVERIFY(dialog.Running());
        auto* state = dialog.findChild<QLabel*>(QStringLiteral("txt_state"));
        auto* again = dialog.findChild<QPushButton*>(QStringLiteral("btn_again"));
        QVERIFY(state && again);
        QCOMPARE(state->text(), QStringLiteral("正在检查…"));
        QVERIFY(!again->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running(), 8000);
        const QString shown = Shown(dialog);
        for (const auto& r : dialog.Results()) {
            QVERIFY2(shown.contains(QString::fromStdString(r.found)), r.found.c_str());
            if (r.level != doctor::Level::Ok) {
                QVERIFY2(shown.contains(QString::fromStdString(r.todo)), r.todo.c_str());
            }
        }
        // No card, no rule, no cloud: at least those three failed, and the state line says so.
        QVERIFY(shown.contains(QStringLiteral("udev 没有找到声卡")));
        QVERIFY(shown.contains(QStringLiteral("127.0.0.1:9")));
        QVERIFY(state->text().contains(QStringLiteral("项未通过")));
        QVERIFY(again->isEnabled());

        again->click();
        QVERIFY(dialog.Running());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running(), 8000);
        QVERIFY(!dialog.Results().empty());
    }

    // The program ends (tray "Exit", SIGTERM) while the checks run: the dialog's loop ends, and
    // the dialog goes once its worker is done with it.
    void endsWhileChecking() {
        auto* dialog = new CDlgDoctor(nullptr, Options());
        QVERIFY(dialog->Running());
        QTimer::singleShot(50, [] { toolkit::EndModals(toolkit::IDCANCEL); });
        QCOMPARE(dialog->DoModal(), int(toolkit::IDCANCEL));
        delete dialog;  // waits for the bounded run; its message to the gone dialog is dropped
        QTest::qWait(100);
    }
};

QTEST_MAIN(TestDlgDoctor)
#include "tst_dlg_doctor.moc"
