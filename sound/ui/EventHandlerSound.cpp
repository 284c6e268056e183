#include "sound/ui/EventHandlerSound.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QResource>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpacerItem>
#include <QTabWidget>

#include "AudioEngine.h"
#include "ClipEvents.h"
#include "ConnectionEvents.h"
#include "Hotkeys.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "SoundPadText.h"
#include "ccm_util/AppMessages.h"
#include "sound/ui/SendWindow.h"
#include "sound/ui/SetVolumeDlg.h"
#include "toolkit/Controls.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Markup.h"
#include "widgets/CTipWnd.h"

#define LOG_SOURCE "sound\\ui\\EventHandlerSound"

namespace sound::ui {

namespace {

constexpr int kColumns = 5;

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// The escaped attribute value of a markup string.
QString Attr(const QString& text) {
    return text.toHtmlEscaped();
}

}  // namespace

CEventHandlerSound::CEventHandlerSound(sound::CMoodConfig* store)
    : m_store(store),
      m_runDialog([](toolkit::CHostDialog& d) { return d.DoModal(); }),
      m_runSend(&RunSendWindow) {}

CEventHandlerSound::~CEventHandlerSound() {
    // First: its workers are stopped and joined, and no outcome reaches a page half gone.
    m_cloud.reset();
    if (m_hotkeyService) {
        m_hotkeyService->SetActivationHandler(nullptr);
    }
    if (CSetVolumeDlg* popup = CSetVolumeDlg::Current()) {
        popup->ClosePopup();
    }
    if (m_window) {
        m_window->KillTimer(kPlayerTimerId);
        m_window->KillTimer(kCloudRetryTimerId);
    }
    if (m_store && m_store->HotkeysEnabled()) {
        m_store->UnregisterHotkeys();
    }
    // The player goes with the holder; it stops calling back before it is gone.
}

void CEventHandlerSound::SetHotkeyServices(platform::hotkeys::IHotkeys* service,
                                           std::filesystem::path settingsFile) {
    m_hotkeyService = service;
    m_settingsFile = std::move(settingsFile);
}

void CEventHandlerSound::Setup(toolkit::CHostWindow& window) {
    m_window = &window;
    m_playbackSubscription =
        ccm_util::CEventSubscription::Of<EventPlaybackMsg>([](const EventPlaybackMsg&) {
            // The end of a clip is noticed by the player timer; the notice needs nothing more.
        });
    m_volumeSubscription =
        ccm_util::CEventSubscription::Of<EventVolumeChange>([this](const EventVolumeChange& e) {
            if (auto* player = m_holder.Player()) {
                player->SetVolume(e.volume, e.volume);
            }
            if (m_store) {
                m_store->SetVolume(e.volume);
            }
        });
    m_deviceSubscription = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [this](const EventDeviceChanged&) { ResetBar(); });
    m_sendSubscription = ccm_util::CEventSubscription::Of<EventDoSendData>(
        [this](const EventDoSendData& e) { OnDoSendData(e); });
    if (m_hotkeyService) {
        // Only the favourites' ids reach this page (see the application's hotkey fan-out).
        m_hotkeyService->SetActivationHandler([this](int id) { OnHotkey(id); });
    }
    // The first pad press finds a stream to the card already open.
    m_holder.KeepOutputWarm(kDeviceName);
    window.OnTimerId(kPlayerTimerId, [this] { OnPlayerTimer(); });
    window.OnTimerId(kCloudRetryTimerId, [this] { OnCloudRetryTimer(); });
    FindControls();
    BuildLocalGrid();
    BuildDownloadGrid();
    BuildFavouriteGrid();
    ShowLastName();
    const int total = m_store ? m_store->GetLastPlayedLength() : 0;
    if (m_totalTime) {
        m_totalTime->setText(total > 0 ? QString::fromStdString(TotalText(uint32_t(total)))
                                       : QString());
    }
    if (m_progress) {
        m_progress->setEnabled(false);
    }
    if (m_store && m_store->HotkeysEnabled()) {
        m_store->RegisterHotkeys();
    }
    if (m_store && !m_cloudFolder.empty()) {
        m_cloud = std::make_unique<sound::CCloudSoundLibrary>(*m_store, m_cloudFolder, m_cloudUrl);
        m_cloud->SetListListener([this](bool ok) { OnCloudListFinished(ok); });
        m_cloud->SetFileListener([this](const sound::CloudFileOutcome& o) { OnCloudFileReady(o); });
        StartCloudFetch();
    }
}

void CEventHandlerSound::SetCloud(std::filesystem::path dataFolder, std::string baseUrl) {
    m_cloudFolder = std::move(dataFolder);
    m_cloudUrl = std::move(baseUrl);
}

void CEventHandlerSound::FindControls() {
    m_tabs = m_window->FindChildByName<QTabWidget>(QStringLiteral("tab_sound"));
    m_localView = m_window->FindChildByName<QScrollArea>(QStringLiteral("scrollview_sound_local"));
    m_favouriteView =
        m_window->FindChildByName<QScrollArea>(QStringLiteral("scrollview_sound_common"));
    m_downloadView =
        m_window->FindChildByName<QScrollArea>(QStringLiteral("scrollview_sound_download"));
    m_playButton =
        m_window->FindChildByName<QAbstractButton>(QStringLiteral("check_mood_playAndstop"));
    m_name = m_window->FindChildByName<QLabel>(QStringLiteral("mood_name"));
    m_playTime = m_window->FindChildByName<QLabel>(QStringLiteral("txt_sound_play_time"));
    m_totalTime = m_window->FindChildByName<QLabel>(QStringLiteral("txt_sound_total_time"));
    m_progress = m_window->FindChildByName<QAbstractSlider>(QStringLiteral("progress_sound_play"));
    m_volumeButton = m_window->FindChildByName<QAbstractButton>(QStringLiteral("btn_volume"));
    // The favourites' tooltips say whether their hotkeys work; the switch is the effects page's.
    if (auto* hotkeys =
            m_window->FindChildByName<QAbstractButton>(QStringLiteral("chk_hotkey_switch"))) {
        QObject::connect(hotkeys, &QAbstractButton::toggled, hotkeys,
                         [this](bool on) { RefreshFavouriteTips(on); });
    }
    if (m_progress) {
        QObject::connect(m_progress, &QAbstractSlider::sliderPressed, m_progress,
                         [this] { OnSeekPressed(); });
        QObject::connect(m_progress, &QAbstractSlider::sliderReleased, m_progress,
                         [this] { OnSeekReleased(); });
    }
}

void CEventHandlerSound::BuildGrid(QScrollArea* view, const std::vector<MoodItem>& items,
                                   int firstId, bool favourites) {
    if (!view || !view->widget()) {
        return;
    }
    QWidget* content = view->widget();
    auto* grid = qobject_cast<QGridLayout*>(content->layout());
    if (!grid) {
        grid = new QGridLayout(content);
    }
    while (QLayoutItem* item = grid->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            // Out of the window at once, so that ids find only the new pads; deleted later, as a
            // pad may be the sender of the event that rebuilds its grid.
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        }
        delete item;
    }
    const size_t n = items.size();
    const int next = firstId + int(n);
    const bool withAdd = next >= 15001 && next <= 15998;
    // The "+" pad comes first, where it is seen without scrolling past every clip.
    const size_t first = withAdd ? 1 : 0;
    auto place = [grid](QWidget* pad, size_t i) {
        grid->addWidget(pad, int(i) / kColumns, int(i) % kColumns);
    };
    for (size_t i = 0; i < n; ++i) {
        const int id = firstId + int(i);
        const QString text = Q(favourites ? FavouriteLabel(items[i]) : ClipName(items[i]));
        const QString markup = favourites
                                   ? QStringLiteral(
                                         "<imgbtn id=\"%1\" class=\"cls_sound_btn\" text=\"%2\" "
                                         "inset=\"5,0,5,0\" dotted=\"1\" focusable=\"0\"></imgbtn>")
                                   : QStringLiteral(
                                         "<imgbtn id=\"%1\" class=\"cls_sound_btn\"  text=\"%2\" "
                                         "inset=\"5,0,5,0\" dotted=\"1\" focusable=\"0\"/>");
        if (QPushButton* pad =
                toolkit::CreateImgBtnFromMarkup(markup.arg(id).arg(Attr(text)), content)) {
            if (favourites) {
                pad->setToolTip(Q(FavouriteHotkeyTip(items[i], HotkeysOn())));
            }
            place(pad, first + i);
        }
    }
    if (withAdd) {
        QPushButton* add = toolkit::CreateImgBtnFromMarkup(
            QStringLiteral("<imgbtn id=\"%1\" class=\"cls_sound_btn\" text=\"+\"  "
                           "inset=\"5,0,5,0\" dotted=\"1\" font=\"size:20,bold:1\" "
                           "tip=\"添加本地mp3文件\" focusable=\"0\"/>")
                .arg(kAddPadId),
            content);
        if (add) {
            add->setContextMenuPolicy(Qt::NoContextMenu);
            place(add, 0);
        }
    }
    const int rows = GridRowCount(n, withAdd);
    view->setProperty("rowCount", rows);
    grid->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), rows, 0, 1,
                  kColumns);
    if (n > 0) {
        grid->activate();
    }
}

void CEventHandlerSound::FillFavouritesWithBuiltins() {
    if (!m_store || !m_store->Favourites().empty()) {
        return;
    }
    const bool enabled = m_store->HotkeysEnabled();
    if (enabled) {
        m_store->UnregisterHotkeys();
    }
    for (size_t i = 0; i < kBuiltinClipCount; ++i) {
        MoodItem item = BuiltinClipItem(i);
        if (i < 10) {
            item.hotkey = MakeHotkey(0, uint32_t(0x60 + i));  // Num 0 … Num 9
        }
        m_store->AddFavourite(item);
    }
    if (enabled) {
        m_store->RegisterHotkeys();
    }
}

void CEventHandlerSound::BuildLocalGrid() {
    if (!m_store) {
        return;
    }
    const bool refill = m_store->Favourites().empty();
    FillFavouritesWithBuiltins();
    std::vector<MoodItem> items;
    for (size_t i = 0; i < kBuiltinClipCount; ++i) {
        items.push_back(BuiltinClipItem(i));
    }
    items.insert(items.end(), m_store->LocalClips().begin(), m_store->LocalClips().end());
    BuildGrid(m_localView, items, kLocalPadFirst, false);
    if (refill && m_favouriteView) {
        BuildFavouriteGrid();
    }
}

void CEventHandlerSound::BuildFavouriteGrid() {
    if (!m_store) {
        return;
    }
    BuildGrid(m_favouriteView, m_store->Favourites(), kFavouritePadFirst, true);
    PreloadFavourites();
}

bool CEventHandlerSound::HotkeysOn() const {
    return m_store && m_store->HotkeysEnabled();
}

void CEventHandlerSound::RefreshFavouriteTips(bool hotkeysOn) {
    if (!m_store || !m_favouriteView) {
        return;
    }
    const std::vector<MoodItem>& items = m_store->Favourites();
    for (size_t i = 0; i < items.size(); ++i) {
        if (QWidget* pad = toolkit::FindChildById(m_favouriteView, kFavouritePadFirst + int(i))) {
            pad->setToolTip(Q(FavouriteHotkeyTip(items[i], hotkeysOn)));
        }
    }
}

void CEventHandlerSound::BuildDownloadGrid() {
    if (m_store) {
        BuildGrid(m_downloadView, m_store->Downloaded(), kDownloadedPadFirst, false);
    }
}

bool CEventHandlerSound::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM) {
    if (msg != UM_SOUND_PAD) {
        return false;
    }
    if (wParam == kSoundPadStop) {
        StopPlaying();
    } else {
        PlayFavourite(size_t(wParam));
    }
    return true;
}

bool CEventHandlerSound::OnControlEvent(const toolkit::ControlEvent& ev) {
    using toolkit::EventKind;
    const int id = ev.controlId;
    if (ev.kind == EventKind::Command) {
        if (id == kAddPadId) {
            AddLocalClip();
            return true;
        }
        if (id >= kFavouritePadFirst && id <= kCloudPadLast) {
            ClickPad(id);
            return true;
        }
        if (ev.controlName == QLatin1String("btn_volume")) {
            OpenVolumePopup();
            return true;
        }
        if (ev.controlName == QLatin1String("btn_cloud_sound_retry")) {
            // Out of the click: the fetch starts from the timer.
            m_window->SetTimer(kCloudRetryTimerId, kCloudRetryDelayMs);
            return true;
        }
        return false;
    }
    if (ev.kind == EventKind::ContextMenu && id >= kFavouritePadFirst && id <= kCloudPadLast) {
        ShowPadMenu(id, ev.point);
        return true;
    }
    if (ev.kind == EventKind::StateChanged &&
        ev.controlName == QLatin1String("check_mood_playAndstop")) {
        OnPlayButton(ev.value != 0);
        return true;
    }
    if (ev.kind == EventKind::SliderPos && ev.controlName == QLatin1String("progress_sound_play")) {
        if (m_playTime) {
            m_playTime->setText(QString::fromStdString(ClockTextOfMs(uint32_t(ev.value))));
        }
        return true;
    }
    return false;
}

bool CEventHandlerSound::OnHotkey(int id) {
    if (id < kFavouritePadFirst || id >= kLocalPadFirst) {
        return false;
    }
    PlayFavourite(size_t(id - kFavouritePadFirst));
    return true;
}

void CEventHandlerSound::PreloadFavourites() {
    for (const MoodItem& item : m_store->Favourites()) {
        if (item.kind == kMoodFile) {
            const std::filesystem::path file = ClipFilePath(item);
            if (!file.empty()) {
                platform::audio::PreloadClipFile(file);
            }
        }
        if (item.kind == kMoodResource) {
            const QResource resource(
                QStringLiteral(":/clips/%1.mp3").arg(QString::fromStdU16String(ClipPath(item))));
            // Only uncompressed resources stay where they are for the program's run.
            if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression) {
                platform::audio::PreloadClipMemory(resource.data(), size_t(resource.size()));
            }
        }
    }
}

void CEventHandlerSound::OpenVolumePopup() {
    const int volume = m_store ? m_store->Volume() : 50;
    std::optional<QPoint> anchor;
    if (m_volumeButton) {
        anchor = m_volumeButton->mapToGlobal(QPoint(m_volumeButton->width() / 2, 0));
    }
    CSetVolumeDlg::Show(anchor, volume, m_window);
}

void CEventHandlerSound::Tip(const QString& text, bool warning, int durationMs) const {
    CTipWnd::ShowTipOnWindow(m_window ? m_window->window() : nullptr, text, warning, durationMs);
}

}  // namespace sound::ui
