// What the pages build on: tab controls' selection events, the string and colour tables resolved
// in layouts, Qt's own texts in Chinese, and edit fields without input methods.
#include <QDialog>
#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "VeloraVersion.h"
#include "toolkit/Controls.h"
#include "toolkit/InputMethod.h"
#include "toolkit/Layouts.h"
#include "toolkit/Translations.h"
#include "toolkit/Values.h"

using toolkit::ControlEvent;
using toolkit::EventKind;

namespace {

// A page as a layout file would give it: references in its texts, a caption tab control with
// an id, a tab bar on its own, an edit field.
void BuildTestPage(QWidget* root) {
    root->setWindowTitle(QStringLiteral("@string/title"));
    auto* caption = new QLabel(QStringLiteral("@string/ver"), root);
    caption->setObjectName(QStringLiteral("txt_ver"));
    caption->setStyleSheet(QStringLiteral("color: @color/accent;"));
    caption->setToolTip(QStringLiteral("@string/nope"));
    auto* tabs = new QTabWidget(root);
    tabs->setObjectName(QStringLiteral("tab_caption"));
    toolkit::SetControlId(tabs, 11001);
    tabs->addTab(new QWidget, QStringLiteral("混响"));
    tabs->addTab(new QWidget, QStringLiteral("@string/title"));
    auto* bar = new QTabBar(root);
    toolkit::SetControlId(bar, 4242);
    bar->addTab(QStringLiteral("a"));
    bar->addTab(QStringLiteral("b"));
    auto* edit = new QLineEdit(root);
    edit->setObjectName(QStringLiteral("edit_value"));
}

bool AcceptsInputMethod(QWidget* w) {
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QApplication::sendEvent(w, &query);
    return query.value(Qt::ImEnabled).toBool();
}

}  // namespace

class TestPageSupport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        uitest::InitUi();
        toolkit::RegisterLayout(QStringLiteral("XML_TEST_PAGE"), &BuildTestPage);
    }

    void layoutReferencesResolveFromTheTables() {
        uitest::CRecordingHost host(QStringLiteral("LAYOUT:XML_TEST_PAGE"));
        QCOMPARE(host.windowTitle(), QStringLiteral("Orin LYNT!"));
        auto* ver = host.FindChildByName<QLabel>(QStringLiteral("txt_ver"));
        // The version is the build's, never a copy written in a layout.
        QCOMPARE(ver->text(), QStringLiteral(VELORA_VERSION));
        QCOMPARE(ver->styleSheet(), QStringLiteral("color: #00f6ff;"));
        QCOMPARE(ver->toolTip(), QStringLiteral("@string/nope"));  // missing: shown as written
        auto* tabs = host.FindChildByName<QTabWidget>(QStringLiteral("tab_caption"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("混响"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Orin LYNT!"));
        // The program's style sheet names the table's colours and none is left unresolved.
        QVERIFY(!qApp->styleSheet().contains(QStringLiteral("@color/")));
        QVERIFY(qApp->styleSheet().contains(QStringLiteral("#00f6ff")));
    }

    void valueFileEntriesAndTheVersion() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("values.xml"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"(<resources>
  <string name="ver">9.9.9</string>
  <string name="greeting">你好</string>
  <color name="veil">#80FF0000</color>
  <color name="broken">not a colour</color>
</resources>)");
        file.close();
        auto& table = toolkit::CValueTable::Instance();
        QVERIFY(table.Load(path));
        QCOMPARE(toolkit::GetString(QStringLiteral("ver")), QStringLiteral(VELORA_VERSION));
        QCOMPARE(toolkit::ResolveText(QStringLiteral("@string/greeting")), QStringLiteral("你好"));
        QCOMPARE(toolkit::ResolveColor(QStringLiteral("@color/veil")), QColor(255, 0, 0, 128));
        QCOMPARE(toolkit::ResolveText(QStringLiteral("background: @color/veil")),
                 QStringLiteral("background: rgba(255, 0, 0, 128)"));
        QVERIFY(!toolkit::ResolveColor(QStringLiteral("@color/broken")).isValid());
        QVERIFY(table.Load(QStringLiteral(":/values/values")));
    }

    void tabSelectionChangeIsAControlEvent() {
        uitest::CRecordingHost host(QStringLiteral("LAYOUT:XML_TEST_PAGE"));
        QList<int> routed;
        host.Events().On(EventKind::TabSelChanged, QStringLiteral("tab_caption"),
                         [&](const ControlEvent& ev) { routed << ev.value; });
        host.resize(400, 300);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        auto* tabs = host.FindChildByName<QTabWidget>(QStringLiteral("tab_caption"));
        tabs->setCurrentIndex(1);  // selected by code, as the reverb dialog's start does
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                          tabs->tabBar()->tabRect(0).center());  // and by the user
        QCOMPARE(routed, (QList<int>{1, 0}));
        QCOMPARE(host.events.size(), size_t(2));  // the tab widget's own bar does not report too
        QCOMPARE(host.events.back().controlId, 11001);
        QCOMPARE(host.events.back().EventId(), toolkit::kEvtTabSelChanged);
        // A tab bar on its own reports by id.
        QList<int> barRouted;
        host.Events().On(EventKind::TabSelChanged, 4242,
                         [&](const ControlEvent& ev) { barRouted << ev.value; });
        toolkit::FindById<QTabBar>(&host, 4242)->setCurrentIndex(1);
        QCOMPARE(barRouted, QList<int>{1});
    }

    void editFieldsOfAWindowWithoutInputMethods() {
        uitest::CRecordingHost host(QStringLiteral("LAYOUT:XML_TEST_PAGE"));
        auto* edit = host.FindChildByName<QLineEdit>(QStringLiteral("edit_value"));
        QVERIFY(AcceptsInputMethod(edit));  // Qt's default
        toolkit::DisableInputMethods(&host);
        QVERIFY(!AcceptsInputMethod(edit));
        // Made editable again, a line edit turns its own attribute back on: still none.
        edit->setReadOnly(true);
        edit->setReadOnly(false);
        QVERIFY(!AcceptsInputMethod(edit));
        // Fields created later (pads, tabs added at run time) lose theirs when wired.
        auto* later = new QLineEdit(&host);
        toolkit::WireControl(later);
        QVERIFY(!AcceptsInputMethod(later));
        // A dialog the window owns keeps its own: names are typed in Chinese there.
        QDialog dialog(&host);
        auto* name = new QLineEdit(&dialog);
        toolkit::WireControl(name);
        QVERIFY(AcceptsInputMethod(name));
    }

    void qtTextsAreChinese() {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(folder + QStringLiteral("/qtbase_zh_CN.qm"))) {
            QSKIP("qt6-translations-l10n is not installed");
        }
        // An English desktop still gets Chinese buttons: the program speaks Chinese.
        QCOMPARE(toolkit::InstallQtTranslations(QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("zh_CN"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        QCOMPARE(toolkit::InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::Taiwan)),
                 QStringLiteral("zh_TW"));
        QTemporaryDir empty;
        QVERIFY(toolkit::InstallQtTranslations(QLocale::system(), empty.path()).isEmpty());
    }
};

QTEST_MAIN(TestPageSupport)
#include "tst_page_support.moc"
