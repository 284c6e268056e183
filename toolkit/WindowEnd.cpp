#include "toolkit/WindowEnd.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "toolkit/HostWindow.h"

namespace toolkit {

namespace {

// UI thread only, like the windows themselves.
struct EndState {
    std::vector<QPointer<QWidget>> modals;  // innermost last
    int depth = 0;
    std::vector<QPointer<QWidget>> waiting;  // ended while a modal loop ran
};

EndState& State() {
    static EndState state;
    return state;
}

bool OwnedBy(QWidget* w, QWidget* owner) {
    for (; w; w = w->parentWidget()) {
        if (w == owner) {
            return true;
        }
    }
    return false;
}

void ReleaseWaiting() {
    std::vector<QPointer<QWidget>> waiting;
    waiting.swap(State().waiting);
    for (const QPointer<QWidget>& w : waiting) {
        if (w) {
            w->deleteLater();
        }
    }
}

}  // namespace

int RunModal(QWidget& window, const std::function<int()>& loop) {
    EndState& s = State();
    s.modals.emplace_back(&window);
    ++s.depth;
    const int result = loop();
    --s.depth;
    // The window may be gone by now; drop its entry and any left by deleted windows.
    s.modals.erase(std::remove_if(s.modals.begin(), s.modals.end(),
                                  [&window](const QPointer<QWidget>& w) {
                                      return w.isNull() || w.data() == &window;
                                  }),
                   s.modals.end());
    if (s.depth == 0) {
        ReleaseWaiting();
    }
    return result;
}

int ModalDepth() {
    return State().depth;
}

void EndModals(int code, QWidget* owner) {
    const std::vector<QPointer<QWidget>> open = State().modals;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        QWidget* window = it->data();
        if (!window || (owner && !OwnedBy(window, owner))) {
            continue;
        }
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialog->done(code);
        } else {
            window->close();
        }
    }
}

void DestroyWindow(QWidget* window) {
    if (!window) {
        return;
    }
    EndModals(IDCANCEL, window);
    window->hide();
    if (State().depth == 0) {
        window->deleteLater();
    } else {
        State().waiting.emplace_back(window);
    }
}

void DeleteEndedWindows() {
    ReleaseWaiting();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace toolkit
