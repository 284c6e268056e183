#include "toolkit/Controls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaClassInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QQueue>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>

#include "toolkit/ControlEvent.h"
#include "toolkit/InputMethod.h"

namespace toolkit {

namespace {

constexpr const char* kWiredProperty = "_velora_wired";

// Raises KillFocus for every wired control that can take the focus.
class CFocusWatcher : public QObject {
public:
    static CFocusWatcher* Instance() {
        static CFocusWatcher* watcher = new CFocusWatcher;
        return watcher;
    }
    bool eventFilter(QObject* obj, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            if (auto* w = qobject_cast<QWidget*>(obj)) {
                RaiseControlEvent(w, EventKind::KillFocus);
            }
        }
        return false;
    }
};

bool OwnTagsContain(const QMetaObject* meta, const char* tag) {
    for (const QMetaObject* m = meta; m; m = m->superClass()) {
        int idx = m->indexOfClassInfo("xmlTags");
        if (idx < 0) {
            continue;
        }
        const QList<QByteArray> tags = QByteArray(m->classInfo(idx).value()).split(' ');
        return tags.contains(QByteArray(tag));
    }
    return false;
}

}  // namespace

int ControlId(const QObject* control) {
    if (!control) {
        return 0;
    }
    return control->property(kIdProperty).toInt();
}

void SetControlId(QObject* control, int id) {
    if (control) {
        control->setProperty(kIdProperty, id);
    }
}

QWidget* FindChildById(const QObject* parent, int id) {
    if (!parent || id == 0) {
        return nullptr;
    }
    QQueue<const QObject*> queue;
    queue.enqueue(parent);
    while (!queue.isEmpty()) {
        const QObject* node = queue.dequeue();
        for (QObject* child : node->children()) {
            if (auto* w = qobject_cast<QWidget*>(child)) {
                if (ControlId(w) == id) {
                    return w;
                }
            }
            queue.enqueue(child);
        }
    }
    return nullptr;
}

bool IsClass(const QObject* control, const char* tag) {
    if (!control || !tag) {
        return false;
    }
    if (control->metaObject()->indexOfClassInfo("xmlTags") >= 0) {
        return OwnTagsContain(control->metaObject(), tag);
    }
    const QByteArray t(tag);
    if (t == "button")
        return qobject_cast<const QPushButton*>(control) != nullptr;
    if (t == "check")
        return qobject_cast<const QCheckBox*>(control) != nullptr;
    if (t == "radio")
        return qobject_cast<const QRadioButton*>(control) != nullptr;
    if (t == "edit" || t == "richedit") {
        return qobject_cast<const QLineEdit*>(control) || qobject_cast<const QTextEdit*>(control) ||
               qobject_cast<const QPlainTextEdit*>(control);
    }
    if (t == "text")
        return qobject_cast<const QLabel*>(control) != nullptr;
    if (t == "combobox")
        return qobject_cast<const QComboBox*>(control) != nullptr;
    if (t == "sliderbar")
        return qobject_cast<const QAbstractSlider*>(control) != nullptr;
    if (t == "tabctrl") {
        return qobject_cast<const QTabWidget*>(control) || qobject_cast<const QTabBar*>(control);
    }
    if (t == "progress")
        return qobject_cast<const QProgressBar*>(control) != nullptr;
    if (t == "window")
        return qobject_cast<const QWidget*>(control) != nullptr;
    return false;
}

bool PassOnStrayFocus(QWidget* control, Qt::FocusReason reason) {
    switch (reason) {
        case Qt::MouseFocusReason:
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
            return false;
        default:
            break;
    }
    QWidget* window = control ? control->window() : nullptr;
    if (!window || window == control) {
        return false;
    }
    window->setFocus(Qt::OtherFocusReason);
    return true;
}

void WireControl(QWidget* control) {
    if (!control || control->property(kWiredProperty).toBool()) {
        return;
    }
    control->setProperty(kWiredProperty, true);

    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [button] { RaiseControlEvent(button, EventKind::Command); });
        QObject::connect(button, &QAbstractButton::toggled, button, [button](bool checked) {
            RaiseControlEvent(button, EventKind::StateChanged, checked ? 1 : 0);
        });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QObject::connect(combo, &QComboBox::activated, combo, [combo](int index) {
            RaiseControlEvent(combo, EventKind::ComboSelection, index);
        });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
        QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [tabs](int index) {
            RaiseControlEvent(tabs, EventKind::TabSelChanged, index);
        });
    } else if (auto* bar = qobject_cast<QTabBar*>(control);
               bar && !qobject_cast<QTabWidget*>(bar->parentWidget())) {
        // A tab widget's own bar is not a control of its own: the tab widget reports.
        QObject::connect(bar, &QTabBar::currentChanged, bar, [bar](int index) {
            RaiseControlEvent(bar, EventKind::TabSelChanged, index);
        });
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        // Our sliders handle their input themselves and never trigger slider actions, so this
        // only reaches Qt's own sliders. The position is already the new one when this fires.
        QObject::connect(slider, &QAbstractSlider::actionTriggered, slider, [slider](int) {
            RaiseControlEvent(slider, EventKind::SliderPos, slider->sliderPosition());
        });
    }
    if (control->contextMenuPolicy() == Qt::CustomContextMenu) {
        QObject::connect(
            control, &QWidget::customContextMenuRequested, control, [control](const QPoint& pos) {
                RaiseControlEvent(control, EventKind::ContextMenu, 0, control->mapToGlobal(pos));
            });
    }
    if (IsEditField(control) && InputMethodsDisabled(control)) {
        BlockInputMethod(control);
    }
    if (control->focusPolicy() != Qt::NoFocus) {
        control->installEventFilter(CFocusWatcher::Instance());
    }
}

void WireControls(QWidget* root) {
    if (!root) {
        return;
    }
    for (QWidget* w : root->findChildren<QWidget*>()) {
        WireControl(w);
    }
}

}  // namespace toolkit
