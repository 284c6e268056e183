#include "effects/ui/ValueBoxLimit.h"

#include <QLineEdit>

namespace effects::ui {

void CValueBoxValidator::SetBinding(const BindingRecord& b) {
    m_range = ShownRangeOf(b);
    m_decimals = b.formatKind == kFormatReal;
}

QValidator::State CValueBoxValidator::validate(QString& input, int&) const {
    switch (CheckTypedText(input.toStdU16String(), m_range.low, m_range.high, m_decimals)) {
        case TypedText::Acceptable:
            return Acceptable;
        case TypedText::Intermediate:
            return Intermediate;
        default:
            return Invalid;
    }
}

void LimitTyping(QWidget* edit, const BindingRecord& b) {
    auto* line = qobject_cast<QLineEdit*>(edit);
    if (!line || b.formatKind == kFormatNone) {
        return;
    }
    auto* limit = line->findChild<CValueBoxValidator*>(QString(), Qt::FindDirectChildrenOnly);
    if (!limit) {
        limit = new CValueBoxValidator(line);
    }
    limit->SetBinding(b);
    line->setValidator(limit);
}

}  // namespace effects::ui
