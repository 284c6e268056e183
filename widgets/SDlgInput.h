#pragma once

#include <QString>

#include "toolkit/HostWindow.h"

class QLineEdit;

// The name input dialog ("LAYOUT:XML_INPUTDLG"). On OK the text is trimmed of line
// feeds, carriage returns, spaces and tabs and checked: not empty, not longer than the maximum
// (unless it is -1), none of the forbidden characters. A failed check is reported by a tip above
// the edit and the dialog stays open.
class SDlgInput : public toolkit::CHostDialog {
    Q_OBJECT
public:
    SDlgInput(const QString& text, int maxLength, QWidget* parent = nullptr);

    void SetForbiddenChars(const QString& chars) { m_forbidden = chars; }
    QString ForbiddenChars() const { return m_forbidden; }
    int MaxLength() const { return m_maxLength; }
    QString Title() const { return m_title; }
    // The initial text before OK, the entered and trimmed text after it.
    QString Text() const { return m_text; }
    QLineEdit* Edit() const;

    // The check behind "btnOK"; closes with IDOK when the text passes. Returns the message shown
    // (empty when the dialog closed).
    QString CheckAndClose();

    // The check itself: the message for a text, empty when it passes.
    static QString Validate(const QString& trimmed, int maxLength, const QString& forbidden);
    static QString Trim(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_title;
    QString m_text;
    QString m_forbidden;
    int m_maxLength;
};
