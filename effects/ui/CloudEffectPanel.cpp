#include "effects/ui/CloudEffectPanel.h"

#include <QAbstractButton>

#include "DataFolder.h"
#include "WorkSpace.h"
#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/HostWindow.h"
#include "toolkit/STreeView.h"
#include "widgets/CTipWnd.h"

namespace effects::ui {

std::unique_ptr<CCloudEffectPanel> CCloudEffectPanel::Create(CEventHandlerEffect& page,
                                                             CWorkSpace* workspace,
                                                             toolkit::CHostWindow& window,
                                                             std::string baseUrl) {
    auto* view = window.FindChildByName<STreeView>(QStringLiteral("trctl_cloud_effectt"));
    if (!view) {
        return nullptr;
    }
    if (baseUrl.empty()) {
        baseUrl = CCloudEffectLibrary::DefaultBaseUrl();
    }
    return std::make_unique<CCloudEffectPanel>(page, workspace, window, *view, std::move(baseUrl));
}

CCloudEffectPanel::CCloudEffectPanel(CEventHandlerEffect& page, CWorkSpace* workspace,
                                     toolkit::CHostWindow& window, STreeView& view,
                                     std::string baseUrl)
    : m_page(page),
      m_workspace(workspace),
      m_window(&window),
      m_cloud(appbase::DataFolderPath(), workspace, std::move(baseUrl)) {
    m_adapter = std::make_unique<CCloudEffectListTreeViewAdapter>(*this, view, m_cloud);
    m_busy = window.FindChildByName(QStringLiteral("ani_fetch_cloud_eff"));
    m_failure = window.FindChildByName(QStringLiteral("wnd_cloud_eff_refresh"));
    if (auto* retry = window.FindChildByName<QAbstractButton>(QStringLiteral("btn_cloud_retry"))) {
        QObject::connect(retry, &QAbstractButton::clicked, &view,
                         [this] { StartCloudListFetch(); });
    }
    window.OnTimerId(kFailureTimerId, [this] { OnFailureTimer(); });
    m_cloud.SetListListener([this](bool ok) { OnListDone(ok); });
    m_cloud.SetFileListener([this](const CloudFileEnd& end) { m_adapter->OnFileEnd(end); });
    m_changedSub = ccm_util::CEventSubscription::Of<EventCloudEffectsChanged>(
        [this](const EventCloudEffectsChanged&) { OnChangedElsewhere(); });
}

CCloudEffectPanel::~CCloudEffectPanel() {
    m_changedSub.Reset();
    if (m_window) {
        m_window->KillTimer(kFailureTimerId);
        m_window->OnTimerId(kFailureTimerId, [] {});
    }
    m_cloud.StopFetch();  // the list worker goes with the page
}

void CCloudEffectPanel::StartCloudListFetch() {
    if (m_failure) {
        m_failure->hide();
    }
    if (m_window) {
        m_window->KillTimer(kFailureTimerId);
    }
    m_cloud.StartFetch();  // one at a time: a running fetch reports for both
    if (m_busy) {
        m_busy->show();
        m_busy->raise();
    }
}

void CCloudEffectPanel::OnListDone(bool success) {
    if (success) {
        if (m_busy) {
            m_busy->hide();
        }
        m_adapter->Rebuild();
        if (m_workspace) {
            MarkCurrent(model::RecordText(m_workspace->CurrentEffect().source));
        }
    } else if (m_window) {
        m_window->SetTimer(kFailureTimerId, kFailureDelayMs);
    }
}

void CCloudEffectPanel::OnFailureTimer() {
    if (m_window) {
        m_window->KillTimer(kFailureTimerId);
    }
    if (m_busy) {
        m_busy->hide();
    }
    if (m_failure) {
        m_failure->show();
        m_failure->raise();
    }
}

void CCloudEffectPanel::OnChangedElsewhere() {
    m_adapter->RefreshMarks();
    m_page.RefreshButtonCaptions();
    m_page.RefreshEffectView();
}

void CCloudEffectPanel::MarkCurrent(std::u16string_view source) {
    m_adapter->MarkCurrent(source);
}

bool CCloudEffectPanel::UseEffectFile(std::u16string_view name,
                                      const std::filesystem::path& path) {
    return m_page.UseEffectFile(name, path);
}

bool CCloudEffectPanel::SaveEffectToSlot(std::u16string_view identifier, int slot,
                                         std::u16string_view name) {
    return m_page.SaveEffectToSlot(identifier, slot, name);
}

void CCloudEffectPanel::Tip(const QString& text) {
    CTipWnd::ShowTipOnWindow(m_window, text, true, 2000);
}

}  // namespace effects::ui
