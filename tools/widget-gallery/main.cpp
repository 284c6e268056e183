// velora-widget-gallery: every control and small dialog of the toolkit
// in one window, for looking at them and for screenshots.
//
//   velora-widget-gallery [--animate] [--screenshot FILE.png]
//   velora-widget-gallery --layout XML_MAINWND [--show NAME,..] [--page TAB=N,..]
//                         [--screenshot FILE.png]
//   velora-widget-gallery --dialog reverb|voice|reverb-nocard|savepreset|saveeffect|volume|rename|
//                                  sendclip
//                         [--screenshot FILE.png]
//
// --animate starts with the animations running (marquees, GIF, meters); without it the window
// is still and repaints only when something changes. --screenshot shows the dialogs, a tip, the
// value tip and the tray menu beside the window, writes one PNG of all of them and quits.
// --layout builds one registered layout (the program's own included) in a window of its own
// instead of the gallery; with --screenshot it writes that window alone. --show shows controls
// that are hidden until a page shows them (the grey overlays, the failure panels), --page
// selects tab pages, so that every state of a layout can be looked at. --dialog opens one of the
// effects page's dialogs with its own logic over a scratch workspace.
#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include "DialogPreview.h"
#include "UpgradeDialogPreview.h"
#include "GalleryWindow.h"
#include "LayoutPreview.h"
#include "app/ui/AppLayouts.h"
#include "ccm_util/Dispatcher.h"
#include "effects/ui/DlgEQ.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/Layouts.h"
#include "toolkit/Theme.h"
#include "toolkit/Toolkit.h"
#include "widgets/Widgets.h"

namespace {

// Paints every window's picture at its place on the screen into one image.
bool WriteScreenshot(const QString& path, const QList<CGalleryWindow::Shot>& shots) {
    QRect area;
    for (const auto& shot : shots) {
        area |= QRect(shot.pos, shot.picture.deviceIndependentSize().toSize());
    }
    area.adjust(-16, -16, 16, 16);
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x0A, 0x0D, 0x11));
    QPainter p(&image);
    for (const auto& shot : shots) {
        p.drawPixmap(shot.pos - area.topLeft(), shot.picture);
    }
    p.end();
    return image.save(path);
}

// Shows one layout; with a path, writes its picture once it has been laid out and quits.
int PreviewLayout(const QString& name, const QStringList& show, const QStringList& pages,
                  const QString& screenshot) {
    auto preview = CLayoutPreview::Create(name);
    if (!preview) {
        qCritical("no layout named %s; registered: %s", qUtf8Printable(name),
                  qUtf8Printable(toolkit::RegisteredLayouts().join(QStringLiteral(", "))));
        return 2;
    }
    bool ok = preview->ShowControls(show);
    for (const QString& p : pages) {
        ok = preview->SelectPage(p) && ok;
    }
    if (!ok) {
        return 2;
    }
    preview->Show();
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(300, preview->Window(), [&preview, screenshot] {
            const bool written = preview->SaveScreenshot(screenshot);
            qInfo("screenshot %s: %s", qUtf8Printable(screenshot), written ? "written" : "FAILED");
            QApplication::exit(written ? 0 : 1);
        });
    }
    return QApplication::exec();
}

// Shows one of the effects page's dialogs; with a path, writes its picture and quits.
int PreviewDialog(const QString& name, const QString& screenshot) {
    if (UpgradePreviewNames().contains(name)) {
        return PreviewUpgradeDialog(name, screenshot);
    }
    auto preview = CDialogPreview::Create(name);
    if (!preview) {
        qCritical("no dialog named %s; known: %s", qUtf8Printable(name),
                  qUtf8Printable(CDialogPreview::Names().join(QStringLiteral(", "))));
        return 2;
    }
    QWidget* window = preview->Window();
    window->move(0, 0);
    window->show();
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(300, window, [window, screenshot] {
            const bool written = window->grab().save(screenshot);
            qInfo("screenshot %s: %s", qUtf8Printable(screenshot), written ? "written" : "FAILED");
            QApplication::exit(written ? 0 : 1);
        });
    }
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velora-widget-gallery"));

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption animate(QStringLiteral("animate"),
                               QStringLiteral("Start with the animations running."));
    QCommandLineOption shot(QStringLiteral("screenshot"),
                            QStringLiteral("Write a PNG of everything and quit."),
                            QStringLiteral("file"));
    QCommandLineOption layout(QStringLiteral("layout"),
                              QStringLiteral("Show one registered layout instead of the gallery."),
                              QStringLiteral("name"));
    parser.addOption(animate);
    parser.addOption(shot);
    QCommandLineOption show(QStringLiteral("show"),
                            QStringLiteral("With --layout: show these hidden controls."),
                            QStringLiteral("names"));
    QCommandLineOption page(QStringLiteral("page"),
                            QStringLiteral("With --layout: select these tab pages (tab=index)."),
                            QStringLiteral("pages"));
    parser.addOption(layout);
    QCommandLineOption dialog(QStringLiteral("dialog"),
                              QStringLiteral("Open one of the effects page's dialogs."),
                              QStringLiteral("name"));
    parser.addOption(dialog);
    parser.addOption(show);
    parser.addOption(page);
    parser.process(app);

    toolkit::CQtDispatcher dispatcher;
    ccm_util::CScopedDispatcher installed(&dispatcher);
    toolkit::Initialize();
    widgets::RegisterWidgets();
    RegisterAppLayouts();
    CDlgEQ::RegisterLayout();
    toolkit::ApplyTheme(&app);

    if (parser.isSet(dialog)) {
        return PreviewDialog(parser.value(dialog), parser.value(shot));
    }
    if (parser.isSet(layout)) {
        const auto list = [&parser](const QCommandLineOption& o) {
            return parser.value(o).split(QLatin1Char(','), Qt::SkipEmptyParts);
        };
        return PreviewLayout(parser.value(layout), list(show), list(page), parser.value(shot));
    }

    CGalleryWindow window;
    window.resize(1280, 650);
    window.move(0, 0);
    window.show();
    if (parser.isSet(animate)) {
        window.SetAnimating(true);
    }

    if (parser.isSet(shot)) {
        const QString path = parser.value(shot);
        QTimer::singleShot(300, &window, [&window, path] {
            window.ShowEverything();
            QTimer::singleShot(400, &window, [&window, path] {
                const bool ok = WriteScreenshot(path, window.TakeShots());
                qInfo("screenshot %s: %s", qUtf8Printable(path), ok ? "written" : "FAILED");
                QApplication::exit(ok ? 0 : 1);
            });
        });
    }
    return app.exec();
}
