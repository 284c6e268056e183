#include "InActiveCloseDlg.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

CInActiveCloseDlg::CInActiveCloseDlg(const QString& layoutName, QWidget* parent)
    : toolkit::CHostWindow(layoutName, parent, Qt::Tool | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    Events().OnCommand(QStringLiteral("btn_close"), [this] { close(); });
}

bool CInActiveCloseDlg::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate &&
        !frameGeometry().contains(QCursor::pos())) {
        // Closed from the event loop, not from inside the activation change.
        QTimer::singleShot(0, this, &QWidget::close);
    }
    return toolkit::CHostWindow::event(event);
}

CInActiveCloseDlg* ShowAboutPopup(QWidget* over, bool modal) {
    auto* about = new CInActiveCloseDlg(QStringLiteral("LAYOUT:XML_ABOUT"), modal ? over : nullptr);
    if (modal) {
        about->setWindowModality(Qt::ApplicationModal);  // before show: afterwards it is ignored
    }
    about->setObjectName(QStringLiteral("AboutDlg"));
    about->adjustSize();
    QRect area = over ? over->frameGeometry()
                      : QGuiApplication::primaryScreen()->availableGeometry();
    about->move(area.center() - about->rect().center());
    about->show();
    about->activateWindow();
    return about;
}
