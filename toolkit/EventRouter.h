#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "toolkit/ControlEvent.h"

namespace toolkit {

using ControlHandler = std::function<void(const ControlEvent&)>;

// A window's event map: handlers by kind and control name, id or id range. The first entry that
// matches handles the event, in this order: name, id, id range, any control of that kind.
class CEventRouter {
public:
    void OnCommand(const QString& name, std::function<void()> fn);
    void OnCommand(int id, std::function<void()> fn);
    void On(EventKind kind, const QString& name, ControlHandler fn);
    void On(EventKind kind, int id, ControlHandler fn);
    void OnRange(EventKind kind, int firstId, int lastId, ControlHandler fn);
    void OnAny(EventKind kind, ControlHandler fn);

    // True when a handler ran.
    bool Route(const ControlEvent& ev) const;

private:
    struct Entry {
        EventKind kind;
        QString name;  // empty: match by id range
        int firstId = 0;
        int lastId = 0;
        bool any = false;
        ControlHandler fn;
    };
    std::vector<Entry> m_entries;
};

}  // namespace toolkit
