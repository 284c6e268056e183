#pragma once

#include <QValidator>

#include "ParamBinding.h"

namespace effects::ui {

// Lets a value box take only what can become a value of its parameter: digits (a minus and a
// point where the range and format have them) within the shown range, checked as they are typed.
class CValueBoxValidator : public QValidator {
    Q_OBJECT
public:
    explicit CValueBoxValidator(QObject* parent) : QValidator(parent) {}
    void SetBinding(const BindingRecord& b);
    State validate(QString& input, int& pos) const override;

private:
    ShownRange m_range;
    bool m_decimals = false;
};

// Puts the binding's limit on an edit field (once; rebinding updates it).
void LimitTyping(QWidget* edit, const BindingRecord& b);

}  // namespace effects::ui
