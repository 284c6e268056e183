#pragma once

#include <QByteArray>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "AudioEngineHolder.h"
#include "CloudSoundLibrary.h"
#include "MoodItem.h"
#include "PadOutcome.h"
#include "ccm_util/EventBus.h"
#include "toolkit/PageController.h"

class QAbstractButton;
class QAbstractSlider;
class EventDoSendData;
class QLabel;
class QScrollArea;
class QTabWidget;

namespace platform::hotkeys {
class IHotkeys;
}
namespace toolkit {
class CHostDialog;
class CMenu;
}  // namespace toolkit

namespace sound {
class CMoodConfig;
}

namespace sound::ui {

// The sound-pad area of the main window: the pads of the built-in and the user's own clips, the
// favourites (with their global hotkeys), the downloaded clips and up to seven tabs of cloud
// clips, each tab a grid built from the store's lists; the player bar under them; the pads'
// context menus, which also send a clip to one of the card's slots. Clips play on the card's
// output through the page's own engine holder.
class CEventHandlerSound : public toolkit::IPageController {
public:
    static constexpr int kPlayerTimerId = 1004;
    static constexpr int kPlayerTickMs = 200;
    // Menu commands.
    static constexpr int kCmdAddFavourite = 1000;
    static constexpr int kCmdRemoveFavourite = 1001;
    static constexpr int kCmdSetHotkey = 1002;
    static constexpr int kCmdDeleteHotkey = 1003;
    static constexpr int kCmdEditHotkey = 1004;
    static constexpr int kCmdDeleteClip = 1005;
    static constexpr int kCmdRenameClip = 1006;
    // "发送到声卡" submenu: slot s is kCmdSendToSlot + s.
    static constexpr int kCmdSendToSlot = 1010;
    static constexpr int kCloudRetryTimerId = 1006;
    static constexpr int kCloudRetryDelayMs = 20;
    static constexpr int kFixedTabs = 3;
    // lyntctl pad N reaches the page as UM_SOUND_PAD: wParam the favourite's index, or
    // kSoundPadStop.
    static constexpr const char16_t* kDeviceName = u"Orin LYNT!";

    using DialogRunner = std::function<int(toolkit::CHostDialog&)>;
    // The MP3 file the user picks for the "+" pad; empty when cancelled.
    using FileChooser = std::function<QString(QWidget* owner)>;
    // Opens the send dialog (RunSendWindow's contract: 1 sent, 0 failed, -1 ignored).
    using SendRunner = std::function<int(QWidget* parent, const std::u16string& path,
                                         bool fromResource, int slot, int volume)>;

    explicit CEventHandlerSound(sound::CMoodConfig* store);
    ~CEventHandlerSound() override;
    CEventHandlerSound(const CEventHandlerSound&) = delete;
    CEventHandlerSound& operator=(const CEventHandlerSound&) = delete;

    // The service presses come from and the main settings file (its HotKey/SoundTrack is the
    // one-click sound track's hotkey). Set before Setup.
    void SetHotkeyServices(platform::hotkeys::IHotkeys* service,
                           std::filesystem::path settingsFile);
    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void SetSendRunner(SendRunner runner) { m_runSend = std::move(runner); }
    // Whether the card is there to take a clip; without it "发送到声卡" is offered greyed.
    void SetCardReady(std::function<bool()> ready) { m_cardReady = std::move(ready); }
    // Where cloud clips go (the user data folder) and the cloud's base address. Without it the
    // page shows no cloud tabs. Set before Setup.
    void SetCloud(std::filesystem::path dataFolder, std::string baseUrl);
    sound::CCloudSoundLibrary* Cloud() { return m_cloud.get(); }

    void Setup(toolkit::CHostWindow& window) override;
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;
    bool OnControlEvent(const toolkit::ControlEvent& event) override;
    bool OnMenuCommand(int id) override;

    // Grids.
    void BuildLocalGrid();
    void BuildFavouriteGrid();
    void BuildDownloadGrid();

    // A click on a pad; false when nothing played.
    bool ClickPad(int id);
    // A pressed global hotkey: favourites' ids play them; false (not consumed) for other ids.
    bool OnHotkey(int id);
    bool PlayFavourite(size_t index);
    void StopPlaying();
    // lyntctl pad: favourite `which` played at once (kSoundPadStop stops the player), and what
    // became of it, for the answer.
    PadOutcome PlayPadNow(uint64_t which);

    // The pad's context menu as it would show now; null for ids that have none.
    std::unique_ptr<toolkit::CMenu> BuildPadMenu(int id) const;
    void ShowPadMenu(int id, const QPoint& screenPos);
    int MenuTarget() const { return m_menuTarget; }
    void SetMenuTarget(int id) { m_menuTarget = id; }

    // The slot the next "send to card" goes to (0..4).
    int ClipSlot() const { return m_clipSlot; }
    int LastRightClicked() const { return m_lastRightClicked; }

    // Cloud tabs: a fetch of the category list, and the tabs rebuilt from the store.
    bool StartCloudFetch();
    void BuildCloudTabs();

    // The "+" pad: asks for a file and a name and adds the clip; false when nothing was added.
    bool AddLocalClip();
    // Adds this file after checking it plays; the name goes through the rename dialog.
    bool AddLocalClipFile(const std::filesystem::path& file);

    void OpenVolumePopup();

    AudioEngineHolder& Holder() { return m_holder; }
    // The player bar's clip length (whole seconds, milliseconds); 0 once the clip ended.
    uint32_t BarLengthMs() const { return m_lengthMs; }

private:
    void FindControls();
    bool HotkeysOn() const;
    // The switch's new state: it changes before the store hears of it.
    void RefreshFavouriteTips(bool hotkeysOn);
    void BuildGrid(QScrollArea* view, const std::vector<MoodItem>& items, int firstId,
                   bool favourites);
    void FillFavouritesWithBuiltins();
    void PreloadFavourites();
    bool PlayClip(const MoodItem& item);
    bool OpenResource(const MoodItem& item);
    void PlayFailed();
    void OnPlayButton(bool checked);
    void StartBar(const MoodItem& item);
    // The player's length on the bar and in the store, when it changed.
    void ShowLength();
    void ResetBar();
    void OnPlayerTimer();
    void OnSeekPressed();
    void OnSeekReleased();
    void ShowLastName();
    void Tip(const QString& text, bool warning = false, int durationMs = 2000) const;
    // Menu commands on the menu target.
    void AddTargetToFavourites();
    void EditFavouriteHotkey(size_t index);
    void DeleteFavouriteHotkey(size_t index);
    void DeleteUserClip(size_t index);
    void RenameUserClip(size_t index);
    uint32_t SoundTrackHotkey() const;
    // Cloud pads and the send to the card.
    bool ClickCloudPad(int id, const MoodItem& entry);
    std::optional<MoodItem> DownloadedCopy(const MoodItem& entry) const;
    sound::CloudDownloadStart StartCloudDownload(int id, int32_t mode);
    void OnCloudListFinished(bool success);
    void OnCloudFileReady(const sound::CloudFileOutcome& outcome);
    void OnCloudRetryTimer();
    void ShowCloudBusy(bool busy);
    void ShowRetryLink(bool shown);
    QScrollArea* AddCloudTab(size_t category);
    void SendTargetToCard(int slot);
    void OnDoSendData(const EventDoSendData& e);

    sound::CMoodConfig* m_store;
    platform::hotkeys::IHotkeys* m_hotkeyService = nullptr;
    std::filesystem::path m_settingsFile;
    toolkit::CHostWindow* m_window = nullptr;
    AudioEngineHolder m_holder;
    QByteArray m_resourceData;  // a compressed resource's bytes, held while the player has them

    QPointer<QTabWidget> m_tabs;
    QPointer<QScrollArea> m_localView;
    QPointer<QScrollArea> m_favouriteView;
    QPointer<QScrollArea> m_downloadView;
    QPointer<QAbstractButton> m_playButton;
    QPointer<QLabel> m_name;
    QPointer<QLabel> m_playTime;
    QPointer<QLabel> m_totalTime;
    QPointer<QAbstractSlider> m_progress;
    QPointer<QAbstractButton> m_volumeButton;

    int m_lastClicked = 0;
    int m_menuTarget = -1;
    int m_lastRightClicked = -1;
    uint32_t m_lengthSeconds = 0;
    uint32_t m_lengthMs = 0;
    uint32_t m_hours = 0;
    uint32_t m_minutes = 0;
    uint32_t m_seconds = 0;

    DialogRunner m_runDialog;
    FileChooser m_chooseFile;
    SendRunner m_runSend;
    std::function<bool()> m_cardReady;
    int m_clipSlot = 0;
    std::filesystem::path m_cloudFolder;
    std::string m_cloudUrl;
    std::unique_ptr<sound::CCloudSoundLibrary> m_cloud;
    ccm_util::CEventSubscription m_playbackSubscription;
    ccm_util::CEventSubscription m_volumeSubscription;
    ccm_util::CEventSubscription m_deviceSubscription;
    ccm_util::CEventSubscription m_sendSubscription;
};

}  // namespace sound::ui

using sound::ui::CEventHandlerSound;
