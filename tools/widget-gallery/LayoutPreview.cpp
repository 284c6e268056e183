#include "LayoutPreview.h"

#include <QPixmap>

#include "toolkit/HostWindow.h"
#include "toolkit/Layouts.h"

std::unique_ptr<CLayoutPreview> CLayoutPreview::Create(const QString& layoutName) {
    if (!toolkit::HasLayout(layoutName)) {
        return nullptr;
    }
    std::unique_ptr<QWidget> window;
    if (layoutName.contains(QStringLiteral("XML_DLG"), Qt::CaseInsensitive)) {
        window = std::make_unique<toolkit::CHostDialog>(layoutName);
    } else {
        window = std::make_unique<toolkit::CHostWindow>(layoutName, nullptr,
                                                        Qt::Window | Qt::FramelessWindowHint);
    }
    window->setWindowTitle(window->windowTitle().isEmpty() ? layoutName : window->windowTitle());
    return std::unique_ptr<CLayoutPreview>(new CLayoutPreview(std::move(window)));
}

void CLayoutPreview::Show() {
    m_window->move(0, 0);
    m_window->show();
}

bool CLayoutPreview::SaveScreenshot(const QString& path) const {
    return m_window->grab().save(path);
}
