#include "LayoutPreview.h"

#include <QLabel>
#include <QPixmap>
#include <QTabWidget>

#include "toolkit/HostWindow.h"
#include "toolkit/Layouts.h"

namespace {

// Texts the program sets at run time, so that the picture shows a window in use.
void FillSampleTexts(QWidget* window) {
    if (auto* info = window->findChild<QLabel*>(QStringLiteral("txt_info"))) {
        if (info->text().isEmpty()) {
            info->setText(QStringLiteral("产品名称：Orin LYNT!\n硬件版本：V1.2\n固件版本：V10.5\n"
                                         "设备类型：声卡"));
        }
    }
}

}  // namespace

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
    FillSampleTexts(window.get());
    return std::unique_ptr<CLayoutPreview>(new CLayoutPreview(std::move(window)));
}

void CLayoutPreview::Show() {
    m_window->move(0, 0);
    m_window->show();
}

bool CLayoutPreview::SaveScreenshot(const QString& path) const {
    return m_window->grab().save(path);
}

bool CLayoutPreview::ShowControls(const QStringList& names) {
    bool ok = true;
    for (const QString& name : names) {
        if (auto* w = m_window->findChild<QWidget*>(name.trimmed())) {
            w->show();
        } else {
            qWarning("no control named %s", qUtf8Printable(name));
            ok = false;
        }
    }
    return ok;
}

bool CLayoutPreview::SelectPage(const QString& tabAndIndex) {
    const QStringList parts = tabAndIndex.split(QLatin1Char('='));
    auto* tabs = parts.size() == 2 ? m_window->findChild<QTabWidget*>(parts[0]) : nullptr;
    bool isNumber = false;
    const int index = parts.size() == 2 ? parts[1].toInt(&isNumber) : -1;
    if (!tabs || !isNumber || index < 0 || index >= tabs->count()) {
        qWarning("no tab page %s", qUtf8Printable(tabAndIndex));
        return false;
    }
    tabs->setCurrentIndex(index);
    return true;
}
