#include "widgets/SDlgInput.h"

#include <QLabel>
#include <QLineEdit>

#include "widgets/CTipWnd.h"

SDlgInput::SDlgInput(const QString& text, int maxLength, QWidget* parent)
    : CHostDialog(QStringLiteral("LAYOUT:XML_INPUTDLG"), parent),
      m_title(QStringLiteral("请输入列表名称")),
      m_text(text),
      m_maxLength(maxLength) {
    setWindowTitle(m_title);
    if (auto* title = FindChildByName<QLabel>(QStringLiteral("txt_title"))) {
        title->setText(m_title);
    }
    // The length is checked on OK with a message rather than cut while typing, so a longer
    // pasted name is reported instead of silently shortened.
    if (QLineEdit* edit = Edit()) {
        edit->setText(text);
        edit->selectAll();
    }
    Events().OnCommand(QStringLiteral("btnOK"), [this] { CheckAndClose(); });
    Events().OnCommand(QStringLiteral("btnCancel"), [this] { EndDialog(toolkit::IDCANCEL); });
    Events().OnCommand(QStringLiteral("btn_close"), [this] { EndDialog(toolkit::IDCANCEL); });
}

QLineEdit* SDlgInput::Edit() const {
    return FindChildByName<QLineEdit>(QStringLiteral("txt_input"));
}

void SDlgInput::showEvent(QShowEvent* event) {
    CHostDialog::showEvent(event);
    if (QLineEdit* edit = Edit()) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

QString SDlgInput::Trim(const QString& text) {
    auto blank = [](QChar c) {
        return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char(' ') ||
               c == QLatin1Char('\t');
    };
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && blank(text.at(start)))
        ++start;
    while (end > start && blank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

QString SDlgInput::Validate(const QString& trimmed, int maxLength, const QString& forbidden) {
    if (trimmed.isEmpty()) {
        return QStringLiteral("输入文本不能为空！");
    }
    if (maxLength != -1 && trimmed.size() > maxLength) {
        return QStringLiteral("输入的字符个数大于%1！").arg(maxLength);
    }
    for (QChar c : trimmed) {
        if (forbidden.contains(c)) {
            return QStringLiteral("不能包含字符“%1”").arg(forbidden);
        }
    }
    return {};
}

QString SDlgInput::CheckAndClose() {
    QLineEdit* edit = Edit();
    const QString trimmed = Trim(edit ? edit->text() : QString());
    const QString message = Validate(trimmed, m_maxLength, m_forbidden);
    if (message.isEmpty()) {
        m_text = trimmed;
        EndDialog(toolkit::IDOK);
        return {};
    }
    const QPoint local = edit ? edit->geometry().topLeft() + QPoint(50, 15) : QPoint(50, 15);
    const QPoint pt = edit ? edit->parentWidget()->mapToGlobal(local) : mapToGlobal(local);
    CTipWnd::ShowTip(pt.x(), pt.y(), 1, message, 2000, false);
    if (edit) {
        edit->setFocus(Qt::OtherFocusReason);
    }
    return message;
}
