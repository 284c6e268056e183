#pragma once

#include "toolkit/HostWindow.h"

// The device information: product, versions and type, one per line.
class CDlgDeviceInfo : public toolkit::CHostDialog {
    Q_OBJECT
public:
    CDlgDeviceInfo(const QString& text, QWidget* owner);
    QString Text() const { return m_text; }

private:
    QString m_text;
};
