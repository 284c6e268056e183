// velora-widget-gallery: every control and small dialog of the toolkit
// in one window, for looking at them and for screenshots.
//
//   velora-widget-gallery [--animate] [--screenshot FILE.png]
//
// --animate starts with the animations running (marquees, GIF, meters); without it the window
// is still and repaints only when something changes. --screenshot shows the dialogs, a tip, the
// value tip and the tray menu beside the window, writes one PNG of all of them and quits.
#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include "GalleryWindow.h"
#include "ccm_util/Dispatcher.h"
#include "toolkit/QtDispatcher.h"
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
    parser.addOption(animate);
    parser.addOption(shot);
    parser.process(app);

    toolkit::CQtDispatcher dispatcher;
    ccm_util::CScopedDispatcher installed(&dispatcher);
    toolkit::Initialize();
    widgets::RegisterWidgets();
    toolkit::ApplyTheme(&app);

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
