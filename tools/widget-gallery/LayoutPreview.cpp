#include "LayoutPreview.h"

#include "EqDialogPreview.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeWidget>

#include "toolkit/Controls.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Layouts.h"
#include "toolkit/Resources.h"

namespace {

// Texts the program sets at run time, so that the picture shows a window in use.
void FillSampleTexts(QWidget* window) {
    if (auto* info = window->findChild<QLabel*>(QStringLiteral("txt_info"))) {
        if (info->text().isEmpty()) {
            info->setText(QStringLiteral("产品名称：Orin LYNT!\n硬件版本：V1.2\n固件版本：V10.5\n"
                                         "设备类型：声卡"));
        }
    }
    // The effects page marks the effect in use.
    if (auto* effect = toolkit::FindById<QAbstractButton>(window, 10000)) {
        effect->setChecked(true);
    }
    // Lists as the effect-list pages fill them from the card's list file.
    if (auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("trctl_kx_eff_list"))) {
        const struct {
            const char* list;
            std::initializer_list<const char*> effects;
        } lists[] = {{"直播常用", {"温暖人声", "磁性低音", "清亮高音", "空旷大厅"}},
                     {"K歌", {"录音棚", "演唱会", "小房间"}}};
        for (const auto& l : lists) {
            auto* node = new QTreeWidgetItem(tree, {QString::fromUtf8(l.list)});
            for (const char* e : l.effects) {
                new QTreeWidgetItem(node, {QString::fromUtf8(e)});
            }
            node->setExpanded(true);
        }
        if (tree->topLevelItemCount() > 0 && tree->topLevelItem(0)->childCount() > 1) {
            tree->setCurrentItem(tree->topLevelItem(0)->child(1));
        }
    }
}

}  // namespace

std::unique_ptr<CLayoutPreview> CLayoutPreview::Create(const QString& layoutName) {
    if (!toolkit::HasLayout(layoutName)) {
        return nullptr;
    }
    std::unique_ptr<QWidget> window;
    std::shared_ptr<void> keep;
    if (toolkit::ResourceRef::Parse(layoutName, QStringLiteral("layout")).name ==
        QLatin1String("XML_DLG_EQ")) {
        window = CreateEqDialogPreview(keep);
        if (!window) {
            return nullptr;
        }
    } else if (layoutName.contains(QStringLiteral("XML_DLG"), Qt::CaseInsensitive)) {
        window = std::make_unique<toolkit::CHostDialog>(layoutName);
    } else {
        window = std::make_unique<toolkit::CHostWindow>(layoutName, nullptr,
                                                        Qt::Window | Qt::FramelessWindowHint);
    }
    window->setWindowTitle(window->windowTitle().isEmpty() ? layoutName : window->windowTitle());
    FillSampleTexts(window.get());
    return std::unique_ptr<CLayoutPreview>(new CLayoutPreview(std::move(window), std::move(keep)));
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
