#include "widgets/CTipWnd.h"

#include <QCursor>
#include <QLabel>
#include <QPainter>
#include <QPointer>

#include "toolkit/SImageWnd.h"
#include "toolkit/Skin.h"

namespace {
constexpr int kTextWidth = 300;  // "txt_tip" is at most 300 pixels wide
QPointer<CTipWnd> g_tip;
}  // namespace

CTipWnd::CTipWnd()
    : CHostWindow(QStringLiteral("LAYOUT:XML_TOOLTIP"), nullptr,
                  // A tool-tip window: topmost, frameless, never activated, not in the task bar.
                  Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                      Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
}

CTipWnd* CTipWnd::Instance() {
    return g_tip;
}

void CTipWnd::Destroy() {
    if (g_tip) {
        delete g_tip.data();
    }
}

void CTipWnd::ShowTip(int x, int y, int anchorKind, const QString& text, int durationMs,
                      bool warning) {
    CTipWnd* tip = g_tip;
    if (tip) {
        tip->KillTimer(kTimerId);
        tip->hide();
    } else {
        tip = new CTipWnd;
        g_tip = tip;
    }
    tip->m_anchor = QPoint(x, y);
    tip->m_anchorKind = anchorKind;
    tip->m_duration = durationMs;
    if (auto* label = tip->FindChildByName<QLabel>(QStringLiteral("txt_tip"))) {
        label->setText(text);
        // One line up to the layout's 300 pixels, wrapped beyond: a word-wrapped label would
        // otherwise choose a narrow width of its own.
        label->ensurePolished();  // the style sheet makes it bold
        const int oneLine = label->fontMetrics().horizontalAdvance(text) + 2;
        label->setFixedWidth(qMin(oneLine, kTextWidth));
    }
    if (auto* mark = tip->FindChildByName<QWidget>(QStringLiteral("img_warning_tip"))) {
        mark->setVisible(warning);
    }
    tip->adjustSize();  // sizes itself to the content; the resize places it
    tip->Place();       // also when the size stayed and only the anchor moved
    tip->show();
    tip->raise();
    tip->SetTimer(kTimerId, durationMs);
}

void CTipWnd::ShowTipOnWindow(QWidget* host, const QString& text, bool warning, int durationMs) {
    if (text.isEmpty()) {
        return;
    }
    QPoint pt = QCursor::pos();
    if (host) {
        pt = host->mapToGlobal(QPoint(host->width() / 2, host->height() / 2));
    }
    ShowTip(pt.x(), pt.y(), 4, text, durationMs, warning);
}

void CTipWnd::ShowTipAt(const QString& text, int x, int y) {
    if (text.isEmpty()) {
        return;
    }
    ShowTip(x, y, 4, text, 2000, true);
}

QString CTipWnd::Text() const {
    auto* label = FindChildByName<QLabel>(QStringLiteral("txt_tip"));
    return label ? label->text() : QString();
}

bool CTipWnd::IsWarning() const {
    auto* mark = FindChildByName<QWidget>(QStringLiteral("img_warning_tip"));
    return mark && !mark->isHidden();
}

QPoint CTipWnd::PositionFor(const QSize& s) const {
    const int x = m_anchor.x();
    const int y = m_anchor.y();
    switch (m_anchorKind) {
        case 1:
            return QPoint(x, y - s.height());
        case 2:
            return QPoint(x - s.width(), y);
        case 3:
            return QPoint(x - s.width(), y - s.height());
        case 4:
            return QPoint(x - s.width() / 2, y);
        default:
            return QPoint(x, y);
    }
}

void CTipWnd::Place() {
    move(PositionFor(size()));
}

void CTipWnd::OnTimer(int id) {
    if (id != kTimerId) {
        CHostWindow::OnTimer(id);
        return;
    }
    KillTimer(kTimerId);
    if (g_tip == this) {
        g_tip = nullptr;  // the next ShowTip makes a new window
    }
    hide();
    deleteLater();
}

void CTipWnd::resizeEvent(QResizeEvent* event) {
    CHostWindow::resizeEvent(event);
    Place();
}

void CTipWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!toolkit::DrawSkin(p, QStringLiteral("skin_dlg_tip_bg"), rect())) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1D, 0x24, 0x2D));
        p.drawRoundedRect(QRectF(rect()), 8, 8);
    }
}
