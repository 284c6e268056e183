#include "LayoutPreview.h"

#include "EqDialogPreview.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QTabWidget>

#include "toolkit/Controls.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Layouts.h"
#include "toolkit/Resources.h"
#include "toolkit/STreeView.h"

namespace {

// Texts the program sets at run time, so that the picture shows a window in use.
void FillSampleTexts(QWidget* window) {
    if (auto* info = window->findChild<QLabel*>(QStringLiteral("txt_info"))) {
        if (info->text().isEmpty()) {
            info->setText(
                QStringLiteral("产品名称：Orin LYNT!\n硬件版本：V1.2\n固件版本：V10.5\n"
                               "设备类型：声卡"));
        }
    }
    // The effects page marks the effect in use.
    if (auto* effect = toolkit::FindById<QAbstractButton>(window, 10000)) {
        effect->setChecked(true);
    }
}

// Lists as the effect-list pages fill them from the card's list file, the second effect in use.
class CSampleLists : public toolkit::ITreeViewAdapter {
public:
    explicit CSampleLists(STreeView* tree) {
        const struct {
            const char* list;
            std::initializer_list<const char*> effects;
        } lists[] = {{"直播常用", {"温暖人声", "磁性低音", "清亮高音", "空旷大厅"}},
                     {"K歌", {"录音棚", "演唱会", "小房间"}}};
        tree->SetAdapter(this);
        for (const auto& l : lists) {
            toolkit::TreeItem* node = tree->InsertItem(
                Add(QString::fromUtf8(l.list) + QStringLiteral(" [%1]").arg(l.effects.size())));
            for (const char* e : l.effects) {
                tree->InsertItem(Add(QString::fromUtf8(e)), node);
            }
            tree->SetItemExpanded(node, true);
        }
    }
    toolkit::TreeItemLook GetItemLook(const toolkit::TreeItem* item) const override {
        const auto i = static_cast<qsizetype>(STreeView::ItemData(item));
        return {m_texts.value(i), i == 2, false};
    }

private:
    quintptr Add(const QString& text) {
        m_texts << text;
        return static_cast<quintptr>(m_texts.size() - 1);
    }
    QStringList m_texts;
};

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
    if (auto* tree = window->findChild<STreeView*>(QStringLiteral("trctl_kx_eff_list"));
        tree && !keep) {
        keep = std::make_shared<CSampleLists>(tree);
    }
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
