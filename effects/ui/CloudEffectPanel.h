#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

#include "CloudEffectLibrary.h"
#include "ccm_util/EventBus.h"
#include "effects/ui/CloudEffectListTreeViewAdapter.h"

class CWorkSpace;
class STreeView;

namespace toolkit {
class CHostWindow;
}

namespace effects::ui {

class CEventHandlerEffect;

// The "云音效" tab of the effects page: the cloud library, its tree, the busy animation while the
// list is fetched and, a second after a failed fetch, the failure panel with its "重试" link.
// Going away stops a list fetch at once and the downloads within about a second.
class CCloudEffectPanel : public CCloudEffectListTreeViewAdapter::IPage {
public:
    static constexpr int kFailureTimerId = 1005;
    static constexpr int kFailureDelayMs = 1000;

    // Null when the window has no "trctl_cloud_effectt".
    static std::unique_ptr<CCloudEffectPanel> Create(CEventHandlerEffect& page,
                                                     CWorkSpace* workspace,
                                                     toolkit::CHostWindow& window,
                                                     std::string baseUrl = {});
    CCloudEffectPanel(CEventHandlerEffect& page, CWorkSpace* workspace,
                      toolkit::CHostWindow& window, STreeView& view, std::string baseUrl);
    ~CCloudEffectPanel() override;

    // Hides the failure panel, starts a list fetch (unless one runs) and shows the animation.
    void StartCloudListFetch() override;
    // The page's current effect source, after every refresh of the page.
    void MarkCurrent(std::u16string_view source);

    CCloudEffectListTreeViewAdapter& Adapter() { return *m_adapter; }
    CCloudEffectLibrary& Library() { return m_cloud; }

    // IPage
    bool UseEffectFile(std::u16string_view name, const std::filesystem::path& path) override;
    bool SaveEffectToSlot(std::u16string_view identifier, int slot,
                          std::u16string_view name) override;
    void Tip(const QString& text) override;

private:
    void OnListDone(bool success);
    void OnFailureTimer();
    void OnChangedElsewhere();

    CEventHandlerEffect& m_page;
    CWorkSpace* m_workspace;
    QPointer<toolkit::CHostWindow> m_window;
    CCloudEffectLibrary m_cloud;
    std::unique_ptr<CCloudEffectListTreeViewAdapter> m_adapter;
    QPointer<QWidget> m_busy;
    QPointer<QWidget> m_failure;
    ccm_util::CEventSubscription m_changedSub;
};

}  // namespace effects::ui
