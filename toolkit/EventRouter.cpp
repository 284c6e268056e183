#include "toolkit/EventRouter.h"

namespace toolkit {

void CEventRouter::OnCommand(const QString& name, std::function<void()> fn) {
    On(EventKind::Command, name, [fn = std::move(fn)](const ControlEvent&) { fn(); });
}

void CEventRouter::OnCommand(int id, std::function<void()> fn) {
    On(EventKind::Command, id, [fn = std::move(fn)](const ControlEvent&) { fn(); });
}

void CEventRouter::On(EventKind kind, const QString& name, ControlHandler fn) {
    m_entries.push_back(Entry{kind, name, 0, 0, false, std::move(fn)});
}

void CEventRouter::On(EventKind kind, int id, ControlHandler fn) {
    OnRange(kind, id, id, std::move(fn));
}

void CEventRouter::OnRange(EventKind kind, int firstId, int lastId, ControlHandler fn) {
    m_entries.push_back(Entry{kind, QString(), firstId, lastId, false, std::move(fn)});
}

void CEventRouter::OnAny(EventKind kind, ControlHandler fn) {
    m_entries.push_back(Entry{kind, QString(), 0, 0, true, std::move(fn)});
}

bool CEventRouter::Route(const ControlEvent& ev) const {
    // Copies of the handler are called: a handler may add entries or close the window.
    auto run = [&ev](const ControlHandler& fn) {
        ControlHandler copy = fn;
        copy(ev);
        return true;
    };
    if (!ev.controlName.isEmpty()) {
        for (const Entry& e : m_entries) {
            if (e.kind == ev.kind && !e.any && !e.name.isEmpty() && e.name == ev.controlName) {
                return run(e.fn);
            }
        }
    }
    if (ev.controlId != 0) {
        for (const Entry& e : m_entries) {
            if (e.kind == ev.kind && !e.any && e.name.isEmpty() && e.firstId == e.lastId &&
                e.firstId == ev.controlId) {
                return run(e.fn);
            }
        }
        for (const Entry& e : m_entries) {
            if (e.kind == ev.kind && !e.any && e.name.isEmpty() && e.firstId != e.lastId &&
                ev.controlId >= e.firstId && ev.controlId <= e.lastId) {
                return run(e.fn);
            }
        }
    }
    for (const Entry& e : m_entries) {
        if (e.kind == ev.kind && e.any) {
            return run(e.fn);
        }
    }
    return false;
}

}  // namespace toolkit
