#include "toolkit/InputMethod.h"

#include <QAbstractSpinBox>
#include <QEvent>
#include <QInputMethodQueryEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace toolkit {

namespace {

constexpr const char* kNoInputMethodProperty = "_velora_no_ime";
constexpr const char* kBlockedProperty = "_velora_ime_blocked";

// Answers the input-method queries itself so that "enabled" is always false.
class CInputMethodBlocker : public QObject {
public:
    static CInputMethodBlocker* Instance() {
        static CInputMethodBlocker* blocker = new CInputMethodBlocker;
        return blocker;
    }
    bool eventFilter(QObject* obj, QEvent* event) override {
        if (event->type() == QEvent::InputMethod) {
            event->ignore();
            return true;
        }
        if (event->type() != QEvent::InputMethodQuery) {
            return false;
        }
        auto* widget = static_cast<QWidget*>(obj);
        auto* query = static_cast<QInputMethodQueryEvent*>(event);
        const Qt::InputMethodQueries queries = query->queries();
        for (int bit = 0; bit < 32; ++bit) {
            const auto q = static_cast<Qt::InputMethodQuery>(1u << bit);
            if (!(queries & q)) {
                continue;
            }
            query->setValue(q, q == Qt::ImEnabled ? QVariant(false) : widget->inputMethodQuery(q));
        }
        query->accept();
        return true;
    }
};

}  // namespace

bool IsEditField(const QWidget* control) {
    return qobject_cast<const QLineEdit*>(control) || qobject_cast<const QTextEdit*>(control) ||
           qobject_cast<const QPlainTextEdit*>(control) ||
           qobject_cast<const QAbstractSpinBox*>(control);
}

void BlockInputMethod(QWidget* control) {
    if (!control || control->property(kBlockedProperty).toBool()) {
        return;
    }
    control->setProperty(kBlockedProperty, true);
    control->setAttribute(Qt::WA_InputMethodEnabled, false);
    control->setInputMethodHints(Qt::ImhNone);
    control->installEventFilter(CInputMethodBlocker::Instance());
}

bool InputMethodsDisabled(const QWidget* control) {
    for (const QWidget* w = control; w; w = w->parentWidget()) {
        if (w->property(kNoInputMethodProperty).toBool()) {
            return true;
        }
        if (w->isWindow()) {
            break;
        }
    }
    return false;
}

void DisableInputMethods(QWidget* window) {
    if (!window) {
        return;
    }
    window->setProperty(kNoInputMethodProperty, true);
    window->setAttribute(Qt::WA_InputMethodEnabled, false);
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // Dialogs owned by the window are its children too, and keep their own choice.
        if (IsEditField(w) && InputMethodsDisabled(w)) {
            BlockInputMethod(w);
        }
    }
}

}  // namespace toolkit
