#include "toolkit/SImageWnd.h"

#include <QPainter>

#include "toolkit/Skin.h"

SImageWnd::SImageWnd(QWidget* parent) : QWidget(parent) {}

void SImageWnd::setSkin(const QString& s) {
    if (s == m_skin) {
        return;
    }
    m_skin = s;
    updateGeometry();
    update();
}

void SImageWnd::setState(int s) {
    if (s == m_state) {
        return;
    }
    m_state = s;
    update();
}

QSize SImageWnd::sizeHint() const {
    toolkit::SkinPtr skin = toolkit::GetSkin(m_skin);
    return skin ? skin->Size() : QSize(0, 0);
}

void SImageWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    toolkit::DrawSkin(p, m_skin, rect(), m_state);
}
