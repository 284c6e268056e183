// The sound-pad page's playing: pads and hotkeys open the page's player, the bar under the pads
// follows it and seeks in it.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QFile>
#include <QLabel>
#include <QResource>
#include <QSignalBlocker>

#include "Log/Log.h"
#include "MoodConfig.h"
#include "SoundPadText.h"
#include "ccm_util/AppMessages.h"
#include "sound/ui/EventHandlerSound.h"
#include "toolkit/HostWindow.h"
#include "toolkit/MessageBox.h"

#define LOG_SOURCE "sound\\ui\\SoundPlayerBar"

namespace sound::ui {

namespace pa = platform::audio;

namespace {

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

QString Clock(uint32_t h, uint32_t m, uint32_t s) {
    return QString::fromStdString(ClockText(h, m, s));
}

}  // namespace

bool CEventHandlerSound::ClickPad(int id) {
    m_lastClicked = id;
    if (!m_store) {
        return false;
    }
    const std::optional<MoodItem> clip = ClipForPad(*m_store, id);
    if (!clip) {
        return false;  // beyond its list
    }
    if (clip->kind == kMoodCloud) {
        return ClickCloudPad(id, *clip);
    }
    return PlayClip(*clip);
}

bool CEventHandlerSound::PlayFavourite(size_t index) {
    if (!m_store || index >= m_store->Favourites().size()) {
        return false;
    }
    return ClickPad(kFavouritePadFirst + int(index));
}

PadOutcome CEventHandlerSound::PlayPadNow(uint64_t which) {
    if (which == kSoundPadStop) {
        StopPlaying();
        return PadOutcome::Stopped;
    }
    if (!m_store || which >= m_store->Favourites().size()) {
        return PadOutcome::NoSuchPad;
    }
    const int id = kFavouritePadFirst + int(which);
    const std::optional<MoodItem> clip = ClipForPad(*m_store, id);
    if (!clip) {
        return PadOutcome::NoSuchPad;
    }
    // Told apart before the click, which shows the user the same as a click on the pad would.
    const bool cloudOnly = clip->kind == kMoodCloud && !DownloadedCopy(*clip);
    std::error_code ec;
    const bool missing =
        clip->kind == kMoodFile && !std::filesystem::is_regular_file(ClipFilePath(*clip), ec);
    if (ClickPad(id)) {
        return PadOutcome::Playing;
    }
    return cloudOnly ? PadOutcome::Fetching
           : missing ? PadOutcome::ClipMissing
                     : PadOutcome::Failed;
}

bool CEventHandlerSound::OpenResource(const MoodItem& item) {
    const QString path = QStringLiteral(":/clips/%1.mp3").arg(Q(ClipPath(item)));
    QResource resource(path);
    if (!resource.isValid() || resource.size() == 0) {
        VLOG_ERROR("sound", "OpenResource", "no resource %s", qUtf8Printable(path));
        toolkit::SMessageBox(m_window, QStringLiteral("播放失败，未找到资源！"),
                             QStringLiteral("提示"), toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return false;
    }
    const void* data = nullptr;
    size_t bytes = 0;
    if (resource.compressionAlgorithm() == QResource::NoCompression) {
        // Mapped with the program: valid for as long as the player may read it.
        data = resource.data();
        bytes = size_t(resource.size());
    } else {
        m_resourceData = resource.uncompressedData();
        data = m_resourceData.constData();
        bytes = size_t(m_resourceData.size());
    }
    return m_holder.OpenPlayerMemory(kDeviceName, data, bytes);
}

bool CEventHandlerSound::PlayClip(const MoodItem& item) {
    bool opened = false;
    if (item.kind == kMoodResource) {
        opened = OpenResource(item);
    } else if (item.kind == kMoodFile) {
        const std::filesystem::path file = ClipFilePath(item);
        std::error_code ec;
        if (!file.empty() && std::filesystem::is_regular_file(file, ec)) {
            opened = m_holder.OpenPlayerFile(kDeviceName, file);
        } else {
            VLOG_ERROR("sound", "PlayClip", "clip file is gone");
        }
    }
    if (!opened) {
        PlayFailed();
        return false;
    }
    const int volume = m_store ? m_store->Volume() : 100;
    m_holder.Player()->SetVolume(volume, volume);
    if (!m_holder.StartPlayer()) {
        PlayFailed();
        return false;
    }
    // The player first; the store's record of it follows (queued, not waited for).
    if (m_store) {
        m_store->SetLastPlayed(item);
    }
    StartBar(item);
    return true;
}

void CEventHandlerSound::PlayFailed() {
    Tip(QStringLiteral("播放失败"));
    m_holder.StopPlayer();
    ResetBar();
}

void CEventHandlerSound::StopPlaying() {
    m_holder.StopPlayer();
    ResetBar();
}

void CEventHandlerSound::OnPlayButton(bool checked) {
    if (!checked) {
        StopPlaying();
        return;
    }
    m_menuTarget = -1;
    const MoodItem last = m_store ? m_store->LastPlayed() : MoodItem{};
    const bool named = last.name[0] != 0;
    const bool exists = !ClipFilePath(last).empty() && std::filesystem::exists(ClipFilePath(last));
    bool played = false;
    if (named || exists) {
        played = PlayClip(last);  // says "播放失败" itself
    } else {
        Tip(QStringLiteral("请选择需要播放的特效"));
    }
    if (!played && m_playButton) {
        const QSignalBlocker quiet(m_playButton);
        m_playButton->setChecked(false);
    }
}

void CEventHandlerSound::StartBar(const MoodItem& item) {
    if (!m_window) {
        return;
    }
    m_window->SetTimer(kPlayerTimerId, kPlayerTickMs);
    if (m_playButton) {
        const QSignalBlocker quiet(m_playButton);
        m_playButton->setChecked(true);
    }
    m_lengthMs = 0;
    ShowLength();
    if (m_progress) {
        const QSignalBlocker quiet(m_progress);
        m_progress->setValue(0);
        m_progress->setEnabled(true);
    }
    if (m_playTime) {
        m_playTime->setText(QStringLiteral("00:00:00"));
    }
    if (m_name) {
        m_name->setText(Q(ClipName(item)));
    }
}

void CEventHandlerSound::ShowLength() {
    pa::MediaInfo info;
    if (!m_holder.Player() || !m_holder.Player()->GetMediaInfo(info)) {
        info = {};
    }
    const ClipLength length = BarLength(info.seconds, info.milliseconds);
    if (length.milliseconds == m_lengthMs) {
        return;
    }
    m_lengthSeconds = length.seconds;
    m_lengthMs = length.milliseconds;
    m_hours = length.seconds / 3600;
    m_minutes = length.seconds / 60 % 60;
    m_seconds = length.seconds % 60;
    if (m_progress) {
        const QSignalBlocker quiet(m_progress);
        m_progress->setRange(0, int(m_lengthMs));
    }
    if (m_totalTime) {
        m_totalTime->setText(QString::fromStdString(TotalText(m_lengthSeconds)));
    }
    if (m_store) {
        m_store->SetLastPlayedLength(QString::number(m_lengthSeconds).toStdU16String());
    }
}

void CEventHandlerSound::ShowLastName() {
    if (m_name && m_store) {
        m_name->setText(Q(ClipName(m_store->LastPlayed())));
    }
}

void CEventHandlerSound::ResetBar() {
    if (m_window) {
        m_window->KillTimer(kPlayerTimerId);
    }
    if (m_playButton) {
        const QSignalBlocker quiet(m_playButton);
        m_playButton->setChecked(false);
    }
    if (m_progress) {
        const QSignalBlocker quiet(m_progress);
        m_progress->setValue(0);
        m_progress->setEnabled(false);
    }
    if (m_playTime) {
        m_playTime->setText(QStringLiteral("00:00:00"));
    }
    ShowLastName();
    if (m_totalTime && m_store) {
        m_totalTime->setText(QString::fromStdString(
            TotalText(uint32_t(std::max(0, m_store->GetLastPlayedLength())))));
    }
}

void CEventHandlerSound::OnPlayerTimer() {
    if (m_lengthMs != 0) {
        // A file without a length tag is counted while it plays: the bar follows the count.
        ShowLength();
        pa::Position pos;
        if (m_holder.Player() && m_holder.Player()->GetPosition(pos) && pos.milliseconds != 0) {
            if (m_progress) {
                const QSignalBlocker quiet(m_progress);
                m_progress->setValue(int(pos.milliseconds));
            }
            if (pos.hours < 500 && m_playTime) {
                m_playTime->setText(Clock(pos.hours, pos.minutes, pos.secs));
            }
            return;
        }
        m_lengthMs = 0;  // the clip has ended
    }
    if (m_progress && m_progress->value() < m_progress->maximum()) {
        const QSignalBlocker quiet(m_progress);
        m_progress->setValue(m_progress->maximum());
        if (m_playTime) {
            m_playTime->setText(Clock(m_hours, m_minutes, m_seconds));
        }
        return;
    }
    ResetBar();
}

void CEventHandlerSound::OnSeekPressed() {
    if (m_window) {
        m_window->KillTimer(kPlayerTimerId);
    }
}

void CEventHandlerSound::OnSeekReleased() {
    if (m_holder.IsPlayerRunning() && m_progress) {
        pa::Position to;
        to.milliseconds = uint32_t(m_progress->value());
        m_holder.Player()->Seek(pa::kSeekMilliseconds, to, 1);
        m_window->SetTimer(kPlayerTimerId, kPlayerTickMs);
    } else {
        ResetBar();
    }
}

}  // namespace sound::ui
