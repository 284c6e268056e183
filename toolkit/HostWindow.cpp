#include "toolkit/HostWindow.h"

#include <QMouseEvent>
#include <QTimerEvent>
#include <QWindow>

#include "toolkit/Layouts.h"
#include "toolkit/MessageLoop.h"
#include "toolkit/WindowEnd.h"

namespace toolkit {

CWindowTimers::CWindowTimers(QObject* owner, std::function<void(int)> onTimer)
    : QObject(owner), m_onTimer(std::move(onTimer)) {}

void CWindowTimers::Set(int id, int ms) {
    m_timers[id].start(ms < 0 ? 0 : ms, this);
}

void CWindowTimers::Kill(int id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end()) {
        it->second.stop();
        m_timers.erase(it);
    }
}

bool CWindowTimers::IsRunning(int id) const {
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second.isActive();
}

void CWindowTimers::timerEvent(QTimerEvent* event) {
    for (const auto& [id, timer] : m_timers) {
        if (timer.timerId() == event->timerId()) {
            // Copied: the handler may kill this timer or destroy the window.
            const int fired = id;
            auto fn = m_onTimer;
            fn(fired);
            return;
        }
    }
    QObject::timerEvent(event);
}

CHostBase::CHostBase(QWidget* self)
    : m_self(self), m_timers(new CWindowTimers(self, [this](int id) { OnTimer(id); })) {}

CHostBase::~CHostBase() = default;

bool CHostBase::InitLayout(const QString& layoutName) {
    m_layout = layoutName;
    if (layoutName.isEmpty()) {
        return true;
    }
    if (!BuildLayout(layoutName, m_self)) {
        qWarning("toolkit: layout %s is not registered", qUtf8Printable(layoutName));
        return false;
    }
    WireControls(m_self);
    return true;
}

void CHostBase::OnTimer(int id) {
    auto it = m_timerHandlers.constFind(id);
    if (it != m_timerHandlers.constEnd()) {
        auto fn = *it;
        fn();
    }
}

bool CHostBase::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) {
    auto it = m_messageHandlers.constFind(msg);
    if (it == m_messageHandlers.constEnd()) {
        return false;
    }
    auto fn = *it;
    fn(wParam, lParam);
    return true;
}

bool CHostBase::OnMenuCommand(int id) {
    auto it = m_menuHandlers.constFind(id);
    if (it == m_menuHandlers.constEnd()) {
        return false;
    }
    auto fn = *it;
    fn();
    return true;
}

bool SendMenuCommand(QWidget* owner, int id) {
    for (QWidget* w = owner; w; w = w->parentWidget()) {
        if (auto* host = dynamic_cast<CHostBase*>(w)) {
            return host->HandleMenuCommand(id);
        }
        if (w->isWindow()) {
            break;
        }
    }
    return false;
}

void CHostBase::OnMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) {
    if (CMessageLoop::Instance().PreTranslate(Msg{Handle(), msg, wParam, lParam})) {
        return;
    }
    OnWindowMessage(msg, wParam, lParam);
}

void CHostBase::BeginMoveFromPress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_self->isWindow() ||
        !(m_self->windowFlags() & Qt::FramelessWindowHint)) {
        return;
    }
    if (QWindow* handle = m_self->windowHandle()) {
        handle->startSystemMove();
    }
}

CHostWindow::CHostWindow(const QString& layoutName, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), CHostBase(this) {
    setAttribute(Qt::WA_StyledBackground);  // the style sheet paints host windows' backgrounds
    InitLayout(layoutName);
}

void CHostWindow::mousePressEvent(QMouseEvent* event) {
    BeginMoveFromPress(event);
    QWidget::mousePressEvent(event);
}

CHostDialog::CHostDialog(const QString& layoutName, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), CHostBase(this) {
    InitLayout(layoutName);
    setModal(true);
}

int CHostDialog::exec() {
    return RunModal(*this, [this] { return QDialog::exec(); });
}

bool CHostDialog::OnControlEvent(const ControlEvent& ev) {
    if (CHostBase::OnControlEvent(ev)) {
        return true;
    }
    if (ev.kind == EventKind::Command && (ev.controlId == IDOK || ev.controlId == IDCANCEL)) {
        done(ev.controlId);
        return true;
    }
    return false;
}

void CHostDialog::mousePressEvent(QMouseEvent* event) {
    BeginMoveFromPress(event);
    QDialog::mousePressEvent(event);
}

}  // namespace toolkit
