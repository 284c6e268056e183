#pragma once

#include <QObject>

#include "ccm_util/Dispatcher.h"

namespace toolkit {

// Runs dispatched work on the thread this object lives in: create it on Qt's main thread and
// install it with ccm_util::InstallDispatcher (or CScopedDispatcher). Uninstall it before it is
// destroyed; work queued but not yet run when it is destroyed is dropped.
class CQtDispatcher : public QObject, public ccm_util::IDispatcher {
    Q_OBJECT
public:
    explicit CQtDispatcher(QObject* parent = nullptr);
    void Dispatch(std::function<void()> fn) override;
};

}  // namespace toolkit
