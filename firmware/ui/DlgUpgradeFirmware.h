#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "FirmwareUpgradeManager.h"
#include "toolkit/HostWindow.h"

class QLabel;
class SProgress;

// The firmware dialog: checks the card, asks the server, downloads and checks the package, and
// on request writes it through the card's loader. The manager's workers report by window
// messages; while the images are written the program's exit guard holds.
class CDlgUpgradeFirmware : public toolkit::CHostDialog {
    Q_OBJECT
public:
    enum State {
        kCheckingCard = 1,
        kCardFound = 2,
        kAskingServer = 3,
        kServerAnswered = 5,
        kToDownload = 6,
        kDownloading = 7,
        kPackageReady = 8,
        kUnpacking = 11,
        kUnpacked = 12,
        kWriting = 17,
        kFinished = 18,
    };
    static constexpr int kStartTimerId = 1011;
    static constexpr int kStartDelayMs = 300;

    // server may be null: every check of the server then fails, with a retry.
    CDlgUpgradeFirmware(std::unique_ptr<firmware::ICardLink> link,
                        std::unique_ptr<firmware::IFirmwareServer> server,
                        std::atomic<int>& upgradingFirmware, QWidget* owner);
    ~CDlgUpgradeFirmware() override;

    static void RegisterLayout();

    int State() const { return m_state; }
    bool Finished() const { return m_finished; }
    firmware::CFirmwareUpgradeManager& Manager() { return *m_manager; }
    // Asks the user to confirm the warning; tests and the gallery answer in its place.
    void SetConfirm(std::function<bool(QWidget*)> confirm) { m_confirm = std::move(confirm); }
    void SetPauses(const firmware::Pauses& pauses) { m_manager->SetPauses(pauses); }
    // Whether an effect file or clip loads into the card now: the write waits for the line.
    void SetLoadingCheck(std::function<bool()> loading) { m_loading = std::move(loading); }

    // The steps, reachable for tests and the gallery.
    void CheckCard();
    void AskServer();
    void OnUpgradeClicked();
    void OnRetryClicked();

    // While the images are written (from the click on until the result is in) the user cannot
    // close the dialog: Escape, its buttons and the window manager's close are refused. Only the
    // program's end still ends it (done), and the writer stops after the block in hand.
    bool Writing() const { return m_upgradingFirmware.load() != 0; }
    // Closes refused so far (Escape, buttons, the window manager).
    int RefusedCloses() const { return m_refusedCloses; }
    void reject() override;
    void done(int code) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;

private:
    void StartDownload();
    void StartUpgrade();
    void CloseUnlessWriting(int code);
    void OnPhase(int phase, bool ok);
    void OnStatus(int code, long long argument);
    void ShowError(const QString& text);
    void ShowMessage(const QString& text);
    void SetAction(const QString& text);
    void SetProgress(int value);
    void Show(const char* name, bool visible);
    void SetExtendTop(QLabel* label, int top);

    std::unique_ptr<firmware::ICardLink> m_link;
    std::unique_ptr<firmware::IFirmwareServer> m_server;
    std::atomic<int>& m_upgradingFirmware;
    std::unique_ptr<firmware::CFirmwareUpgradeManager> m_manager;
    std::function<bool(QWidget*)> m_confirm;
    std::function<bool()> m_loading;
    QLabel* m_msg = nullptr;
    QLabel* m_action = nullptr;
    SProgress* m_progress = nullptr;
    int m_state = kCheckingCard;
    bool m_finished = false;
    int m_refusedCloses = 0;
};
