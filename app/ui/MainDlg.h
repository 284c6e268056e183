#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "toolkit/HostWindow.h"
#include "toolkit/PageController.h"

class CMainApp;

// The program's visible window: its frame (caption buttons, main menu and its commands, the
// always-on-top start, the close behaviour) around the pages that do the work of its areas.
class CMainDlg : public toolkit::CHostWindow {
    Q_OBJECT
public:
    static constexpr int kTopmostTimerId = 1007;
    static constexpr int kTopmostMs = 500;
    static constexpr int kWidth = 860;
    static constexpr int kHeight = 675;

    explicit CMainDlg(CMainApp& app);
    ~CMainDlg() override;

    // What the window does once it exists, before it is shown.
    void OnInitDialog();
    void CenterOnScreen();
    // A page, set up by OnInitDialog in the order added.
    void AddPage(std::unique_ptr<toolkit::IPageController> page);
    // The page of type T, or null.
    template <class T>
    T* FindPage() const {
        for (const auto& page : m_pages) {
            if (auto* found = dynamic_cast<T*>(page.get())) {
                return found;
            }
        }
        return nullptr;
    }

    // The main menu's commands and those other windows send (MainCommands.h).
    void OnCommand(int id);
    // The device-information text, or empty without a card.
    // Asks the card for its information; show gets the dialog's text on the UI thread, empty
    // without a card.
    void QueryDeviceInfoText(std::function<void(const QString&)> show);

protected:
    bool OnControlEvent(const toolkit::ControlEvent& ev) override;
    bool OnMenuCommand(int id) override;
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LeaveTopmost();
    void ShowMainMenu();
    void ShowDeviceInfo();
    void ShowDoctor();
    void StartUpgradeTool();
    // The firmware dialog (message 1126, or the menu when no separate upgrade tool is there).
    void ShowFirmwareUpgrade();
    void OpenUserManual();

    CMainApp& m_app;
    bool m_upgradeOpen = false;
    std::vector<std::unique_ptr<toolkit::IPageController>> m_pages;
};
