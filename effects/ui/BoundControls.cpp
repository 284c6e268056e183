#include "effects/ui/BoundControls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "ParamBinding.h"
#include "toolkit/Controls.h"

namespace effects::ui {

bool IsSlider(const QWidget* w) {
    return qobject_cast<const QAbstractSlider*>(w) != nullptr;
}

void SetSliderRange(QWidget* w, int minimum, int maximum) {
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
        s->setRange(minimum, std::max(minimum, maximum));
    }
}

void SetSliderPos(QWidget* w, int pos) {
    if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
        s->setValue(std::clamp(pos, s->minimum(), s->maximum()));
    }
}

QStringList SplitChoices(std::u16string_view choices) {
    if (choices.empty()) {
        return {};
    }
    return QString::fromStdU16String(std::u16string(choices)).split(QStringLiteral("[#]"));
}

void FillChoices(QWidget* w, const QStringList& choices) {
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->clear();
        combo->addItems(choices);
    } else {
        w->setProperty("choices", choices);
    }
}

void SelectItem(QWidget* w, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
        return;
    }
    // A drop-down button shows the caption of its choice.
    const QStringList choices = w->property("choices").toStringList();
    if (auto* button = qobject_cast<QAbstractButton*>(w);
        button && index >= 0 && index < choices.size()) {
        button->setText(choices[index]);
    }
    w->setProperty("selection", index);
}

void SetChecked(QWidget* w, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setChecked(checked);
    }
}

bool IsChecked(const QWidget* w) {
    auto* button = qobject_cast<const QAbstractButton*>(w);
    return button && button->isChecked();
}

int Position(const QWidget* w) {
    if (auto* s = qobject_cast<const QAbstractSlider*>(w)) {
        return s->value();
    }
    if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        return std::max(0, combo->currentIndex());
    }
    return std::max(0, w ? w->property("selection").toInt() : 0);
}

void SetText(QWidget* w, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(text);
    } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
        rich->setPlainText(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    }
}

QString Text(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (auto* line = qobject_cast<const QLineEdit*>(w)) {
        return line->text();
    }
    if (auto* rich = qobject_cast<const QTextEdit*>(w)) {
        return rich->toPlainText();
    }
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(w)) {
        return plain->toPlainText();
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    return {};
}

bool IsEditControl(const QWidget* w) {
    return toolkit::IsClass(w, "richedit") || toolkit::IsClass(w, "edit2");
}

int KindOfWidget(const QWidget* w) {
    if (IsSlider(w)) {
        return kBindSlider;
    }
    if (qobject_cast<const QComboBox*>(w)) {
        return kBindCombo;
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(w); button && button->isCheckable()) {
        return kBindSwitch;
    }
    return kBindEdit;
}

}  // namespace effects::ui
