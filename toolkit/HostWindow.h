#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QHash>
#include <QObject>
#include <QWidget>
#include <functional>
#include <map>

#include "ccm_util/MessagePoster.h"
#include "toolkit/Controls.h"
#include "toolkit/EventRouter.h"

namespace toolkit {

// Result codes of the modal dialogs and message boxes.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Window timers by numeric id, owned by a window.
class CWindowTimers : public QObject {
    Q_OBJECT
public:
    CWindowTimers(QObject* owner, std::function<void(int)> onTimer);
    // Starts the timer, or restarts it with the new interval when it runs already.
    void Set(int id, int ms);
    void Kill(int id);
    bool IsRunning(int id) const;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    std::function<void(int)> m_onTimer;
    std::map<int, QBasicTimer> m_timers;
};

// What host windows and dialogs share: the layout, control lookup, the event map, window timers
// and the receiving side of the window-message poster. A message posted to the window runs
// through the UI thread's message filters, then reaches OnWindowMessage; a message posted to a
// window that is gone is dropped by the poster.
class CHostBase : public IControlEventSink, public ccm_util::CMessageTarget {
public:
    ~CHostBase() override;

    CEventRouter& Events() { return m_router; }

    void SetTimer(int id, int ms) { m_timers->Set(id, ms); }
    void KillTimer(int id) { m_timers->Kill(id); }
    bool IsTimerRunning(int id) const { return m_timers->IsRunning(id); }
    void OnTimerId(int id, std::function<void()> fn) { m_timerHandlers[id] = std::move(fn); }

    using MessageHandler = std::function<void(ccm_util::WPARAM, ccm_util::LPARAM)>;
    void OnMessageId(uint32_t msg, MessageHandler fn) { m_messageHandlers[msg] = std::move(fn); }
    void OnMenuId(int id, std::function<void()> fn) { m_menuHandlers[id] = std::move(fn); }

    template <typename T = QWidget>
    T* FindChildByName(const QString& name) const {
        return FindByName<T>(m_self, name);
    }
    template <typename T = QWidget>
    T* FindChildByID(int id) const {
        return FindById<T>(m_self, id);
    }

    // Entry points; tests use them to synthesise events.
    bool HandleControlEvent(const ControlEvent& ev) override { return OnControlEvent(ev); }
    // A command chosen in a menu this window owns. Menu commands have their own route, apart from
    // control events, so a menu id never reaches a control that has the same id.
    bool HandleMenuCommand(int id) { return OnMenuCommand(id); }
    void OnMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) final;

    QWidget* Self() const { return m_self; }
    QString LayoutName() const { return m_layout; }

protected:
    explicit CHostBase(QWidget* self);
    // Builds the layout into the window and wires its controls; false when it is unknown.
    bool InitLayout(const QString& layoutName);

    // Default: the event map.
    virtual bool OnControlEvent(const ControlEvent& ev) { return m_router.Route(ev); }
    // Default: the handler set with OnTimerId.
    virtual void OnTimer(int id);
    // Default: the handler set with OnMessageId; true when handled.
    virtual bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam);
    // Default: the handler set with OnMenuId; true when handled.
    virtual bool OnMenuCommand(int id);

    // Frameless windows are moved by dragging their background.
    void BeginMoveFromPress(QMouseEvent* event);

private:
    QWidget* m_self;
    QString m_layout;
    CEventRouter m_router;
    CWindowTimers* m_timers;
    QHash<int, std::function<void()>> m_timerHandlers;
    QHash<uint32_t, MessageHandler> m_messageHandlers;
    QHash<int, std::function<void()>> m_menuHandlers;
};

// Delivers a menu command to the host window that owns the menu (owner or the nearest host up its
// parent chain, within its top-level window). True when handled.
bool SendMenuCommand(QWidget* owner, int id);

// A top-level or child window built from a layout (or left empty for code-built windows).
class CHostWindow : public QWidget, public CHostBase {
    Q_OBJECT
public:
    explicit CHostWindow(const QString& layoutName = QString(), QWidget* parent = nullptr,
                         Qt::WindowFlags flags = {});

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// A modal dialog built from a layout. Commands from controls with id 1 close it with IDOK and id 2
// with IDCANCEL unless a handler takes them first; Escape and closing the window mean IDCANCEL.
// Its loop runs through RunModal (WindowEnd.h), so the program's end closes it first.
class CHostDialog : public QDialog, public CHostBase {
    Q_OBJECT
public:
    explicit CHostDialog(const QString& layoutName, QWidget* parent = nullptr,
                         Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint);
    int DoModal() { return exec(); }
    int exec() override;
    void EndDialog(int code) { done(code); }
    void reject() override { done(IDCANCEL); }

protected:
    bool OnControlEvent(const ControlEvent& ev) override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace toolkit
