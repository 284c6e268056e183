#include "toolkit/QtDispatcher.h"

namespace toolkit {

CQtDispatcher::CQtDispatcher(QObject* parent) : QObject(parent) {}

void CQtDispatcher::Dispatch(std::function<void()> fn) {
    // A queued call with this object as context runs in its thread's event loop, in posting
    // order, and is discarded with the object.
    QMetaObject::invokeMethod(
        this, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

}  // namespace toolkit
