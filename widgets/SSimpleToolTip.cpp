#include "widgets/SSimpleToolTip.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "toolkit/Theme.h"

namespace {
int g_refs = 0;
SSimpleToolTip* g_tip = nullptr;
}  // namespace

void SSimpleToolTip::AddRef() {
    ++g_refs;
}

void SSimpleToolTip::Release() {
    if (g_refs > 0 && --g_refs == 0) {
        delete g_tip;
        g_tip = nullptr;
    }
}

SSimpleToolTip* SSimpleToolTip::Instance() {
    if (g_refs == 0) {
        return nullptr;
    }
    if (!g_tip) {
        g_tip = new SSimpleToolTip;
    }
    return g_tip;
}

SSimpleToolTip::SSimpleToolTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setWindowTitle(QStringLiteral("simple tooltip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The stock GUI font at 12 pixels, with the theme's CJK face standing in for 宋体.
    m_font = QFont(toolkit::CjkFontFamily());
    m_font.setPixelSize(12);
}

void SSimpleToolTip::ShowText(const QString& text, int x, int y) {
    if (text.isEmpty()) {
        hide();
        m_text.clear();
        return;
    }
    const bool changed = text != m_text;
    m_text = text;
    const QFontMetrics fm(m_font);
    const QRect measured = fm.boundingRect(QRect(0, 0, 500, 1000), Qt::TextWordWrap, text);
    const QSize size(measured.width() + 10, measured.height() + 10);
    QPoint pos(x, y);
    QScreen* screen = QGuiApplication::screenAt(pos);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        const QRect work = screen->availableGeometry();
        if (pos.x() + size.width() > work.right() + 1)
            pos.setX(work.right() + 1 - size.width());
        if (pos.y() + size.height() > work.bottom() + 1)
            pos.setY(work.bottom() + 1 - size.height());
    }
    setGeometry(QRect(pos, size));
    show();
    raise();
    if (changed) {
        update();
    }
}

void SSimpleToolTip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(QColor(0x0B, 0x0E, 0x12), 1));
    p.setBrush(palette().color(QPalette::ToolTipBase));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setFont(m_font);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawText(rect().adjusted(5, 5, -5, -5), Qt::TextWordWrap, m_text);
}
