#include "sound/ui/EventHandlerRecord.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QFileDialog>
#include <QLabel>
#include <QSignalBlocker>
#include <ctime>

#include "ConfigData.h"
#include "ConnectionEvents.h"
#include "Log/Log.h"
#include "RecordingSave.h"
#include "SoundPadText.h"
#include "toolkit/HostWindow.h"
#include "widgets/CTipWnd.h"
#include "widgets/QvProgressEX.h"

#define LOG_SOURCE "sound\\ui\\EventHandlerRecord"

namespace sound::ui {

namespace pa = platform::audio;

namespace {

QString Clock(uint32_t h, uint32_t m, uint32_t s) {
    return QString::fromStdString(ClockText(h, m, s));
}

}  // namespace

CEventHandlerRecord::CEventHandlerRecord(std::filesystem::path recording,
                                         std::function<bool()> cardOpen)
    : m_recording(std::move(recording)), m_cardOpen(std::move(cardOpen)) {
    m_playbackSubscription =
        ccm_util::CEventSubscription::Of<EventPlaybackMsg>([this](const EventPlaybackMsg& e) {
            if (e.sender != &m_holder) {
                return;
            }
            if (e.code == pa::kEventEndOfMedia && m_container) {
                m_holder.ReleasePlayer();
                SetIdle();
            } else if (e.code == pa::kEventRecordingEnded && m_holder.Recorder() &&
                       (m_state == State::kFinishing || m_state == State::kRecording)) {
                RecordingEnded(m_state == State::kRecording ? u"录音已停止" : u"");
            }
        });
    m_deviceSubscription =
        ccm_util::CEventSubscription::Of<EventDeviceChanged>([this](const EventDeviceChanged&) {
            if (m_cardOpen && m_cardOpen()) {
                return;
            }
            StopAll();
        });
}

CEventHandlerRecord::~CEventHandlerRecord() {
    if (m_recordTime) {
        CConfigData::Instance().SetLastRecordTime(m_recordTime->text().toStdU16String());
    }
    // A recording under way is finished with the recorder's release: its file stays whole.
    m_holder.ReleaseEngines();
}

void CEventHandlerRecord::Setup(toolkit::CHostWindow& window) {
    m_window = &window;
    m_container = window.FindChildByName(QStringLiteral("container_record"));
    m_recordTime = window.FindChildByName<QLabel>(QStringLiteral("txt_record_time"));
    m_recordButton = window.FindChildByName<QAbstractButton>(QStringLiteral("btn_record"));
    m_playbackButton =
        window.FindChildByName<QAbstractButton>(QStringLiteral("btn_record_playback"));
    m_saveButton = window.FindChildByName<QAbstractButton>(QStringLiteral("btn_record_save"));
    m_playTime = window.FindChildByName<QLabel>(QStringLiteral("txt_play_time"));
    m_slider = window.FindChildByName<QAbstractSlider>(QStringLiteral("slider_play_progress"));
    m_levels = window.FindChildByName(QStringLiteral("channel_volume"));
    window.OnTimerId(kRecordTimerId, [this] { OnRecordTimer(); });
    window.OnTimerId(kPlaybackTimerId, [this] { OnPlaybackTimer(); });
    window.OnTimerId(kLevelTimerId, [this] { OnLevelTimer(); });
    if (m_slider) {
        QObject::connect(m_slider, &QAbstractSlider::sliderPressed, m_slider,
                         [this] { OnSeekPressed(); });
        QObject::connect(m_slider, &QAbstractSlider::sliderReleased, m_slider,
                         [this] { OnSeekReleased(); });
    }
    m_lastRecordTime = QString::fromStdU16String(CConfigData::Instance().GetLastRecordTime());
    if (m_playbackButton) {
        m_playbackButton->setEnabled(false);
    }
    if (m_saveButton) {
        m_saveButton->setEnabled(false);
    }
    if (RecordingExists()) {
        if (m_playbackButton) {
            m_playbackButton->setEnabled(true);
        }
        if (m_saveButton) {
            m_saveButton->setEnabled(true);
        }
        if (m_recordTime && !m_lastRecordTime.isEmpty()) {
            m_recordTime->setText(m_lastRecordTime);
        }
    }
    if (m_slider) {
        m_slider->setRange(0, 100);
        m_slider->setValue(0);
        m_slider->setEnabled(false);
    }
    if (auto* levels = qobject_cast<SProgress*>(m_levels.data())) {
        levels->setRange(0, 100);
        levels->setValue(0);
        levels->setEnabled(false);
    }
    if (m_holder.Recorder()) {
        SetRecording();
    } else if (m_holder.IsPlayerRunning()) {
        SetPlaying();
    }
}

bool CEventHandlerRecord::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM) {
    // The card's own session end and sleep are the shell's; here only the engines stop.
    if (msg == kMsgQueryEndSession || (msg == kMsgPowerBroadcast && wParam == kPowerSuspend)) {
        StopAll();
        if (m_recordTime) {
            CConfigData::Instance().SetLastRecordTime(m_recordTime->text().toStdU16String());
        }
    }
    return false;  // the card's handling follows
}

bool CEventHandlerRecord::OnControlEvent(const toolkit::ControlEvent& ev) {
    using toolkit::EventKind;
    if (ev.kind == EventKind::Command) {
        if (ev.controlName == QLatin1String("btn_record")) {
            OnRecordButton();
            return true;
        }
        if (ev.controlName == QLatin1String("btn_record_playback")) {
            OnPlaybackButton();
            return true;
        }
        if (ev.controlName == QLatin1String("btn_record_save")) {
            OnSave();
            return true;
        }
        return false;
    }
    if (ev.kind == EventKind::SliderPos &&
        ev.controlName == QLatin1String("slider_play_progress")) {
        const uint32_t s = uint32_t(std::max(0, ev.value));
        if (m_playTime) {
            m_playTime->setText(Clock(s / 3600, s / 60 % 60, s % 60));
        }
        return true;
    }
    return false;
}

bool CEventHandlerRecord::RecordingExists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(m_recording, ec);
}

void CEventHandlerRecord::Tip(const QString& text, bool warning, int durationMs) const {
    CTipWnd::ShowTipOnWindow(m_window ? m_window->window() : nullptr, text, warning, durationMs);
}

void CEventHandlerRecord::ShowError(const std::u16string& text) const {
    if (!text.empty()) {
        Tip(QString::fromStdU16String(text), true, 3000);
    }
}

void CEventHandlerRecord::OnRecordButton() {
    if (m_state == State::kFinishing) {
        return;  // the file is being completed; its end comes as an event
    }
    if (m_state == State::kRecording || m_holder.Recorder()) {
        StopRecording();
        return;
    }
    // The panel's player lets go of the output before the capture starts.
    if (m_holder.Player()) {
        m_holder.StopPlayer();
        m_holder.ReleasePlayer();
    }
    if (!m_holder.OpenRecorder(kDeviceName, m_recording)) {
        ShowError(m_holder.LastError());
        SetIdle();
        return;
    }
    if (!m_holder.Recorder()->Start()) {
        const std::u16string error = m_holder.Recorder()->GetLastError();
        m_holder.ReleaseRecorder();
        ShowError(error.empty() ? std::u16string(u"录音失败") : error);
        SetIdle();
        return;
    }
    SetRecording();
}

void CEventHandlerRecord::StopRecording() {
    auto* recorder = m_holder.Recorder();
    if (!recorder) {
        SetIdle();
        return;
    }
    recorder->Stop();
    pa::EngineState state;
    if (recorder->GetState(state) && state.finishing) {
        SetFinishing();
        return;
    }
    RecordingEnded(u"");
}

void CEventHandlerRecord::RecordingEnded(std::u16string_view fallbackError) {
    std::u16string error;
    pa::MediaInfo info;
    bool measured = false;
    if (auto* recorder = m_holder.Recorder()) {
        error = recorder->GetLastError();
        measured = recorder->GetMediaInfo(info);
    }
    m_holder.ReleaseRecorder();
    if (error.empty()) {
        error = fallbackError;
    }
    ShowError(error);
    // The length of the file that is there now: the new one, or the previous one when the new
    // one could not be completed; never a count taken before the recording's end.
    if (!measured && !MeasureRecording(info)) {
        info = {};
    }
    m_lastRecordTime = Clock(info.hours, info.minutes, info.secs);
    SetIdle();
}

bool CEventHandlerRecord::MeasureRecording(pa::MediaInfo& info) const {
    if (!RecordingExists()) {
        return false;
    }
    std::unique_ptr<pa::IAudioEngine> probe = pa::CreateAudioEngine();
    return probe && probe->Open(m_recording.u16string(), AudioEngineHolder::kOpenFlags) &&
           probe->GetMediaInfo(info);
}

void CEventHandlerRecord::OnPlaybackButton() {
    if (m_state == State::kRecording || m_state == State::kFinishing) {
        return;  // the button is disabled while recording
    }
    if (m_state == State::kPlaying) {
        if (m_holder.Player() && m_holder.IsPlayerRunning()) {
            m_holder.StopPlayer();
        }
        m_holder.ReleasePlayer();
        SetIdle();
        return;
    }
    pa::EngineState state;
    const bool reusable =
        m_holder.Player() && m_holder.Player()->GetState(state) && state.startable;
    if (!reusable && !m_holder.OpenPlayerFile(kDeviceName, m_recording)) {
        ShowError(m_holder.LastError());
        SetIdle();
        return;
    }
    if (!m_holder.StartPlayer()) {
        ShowError(m_holder.LastError());
        SetIdle();
        return;
    }
    SetPlaying();
}

void CEventHandlerRecord::OnSave() {
    if (m_holder.Recorder()) {
        Tip(QStringLiteral("录音正在进行中，请先停止录音！"), true, 3000);
        return;
    }
    if (!RecordingExists()) {
        Tip(QStringLiteral("您尚未录音，请先进行录音！"), true, 3000);
        return;
    }
    // The dialog proposes the music folder and a name that tells recordings apart.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const QString proposed = QString::fromStdU16String(
        (sound::MusicFolder() / sound::ProposedRecordingName(local)).u16string());
    const QString target = m_chooseSave
                               ? m_chooseSave(m_window)
                               : QFileDialog::getSaveFileName(m_window, QString(), proposed,
                                                              QStringLiteral("mp3文件 (*.mp3)"));
    if (target.isEmpty()) {
        return;
    }
    std::error_code ec;
    const std::filesystem::path to =
        sound::WithMp3Extension(std::filesystem::path(target.toStdU16String()));
    if (sound::SaveRecordingCopy(m_recording, to, ec)) {
        Tip(QStringLiteral("录音保存成功！"), false, 2000);
    } else {
        VLOG_ERROR("sound", "CEventHandlerRecord::OnSave", "copy failed: %s", ec.message().c_str());
        Tip(QStringLiteral("保存失败，请尝试保存到其他路径！"), true, 3000);
    }
}

void CEventHandlerRecord::StopAll() {
    if (auto* recorder = m_holder.Recorder()) {
        recorder->Stop();
    }
    m_holder.StopPlayer();
    m_holder.ReleaseEngines();
    SetIdle();
}

void CEventHandlerRecord::SetIdle() {
    m_state = State::kIdle;
    if (m_window) {
        m_window->KillTimer(kRecordTimerId);
        m_window->KillTimer(kPlaybackTimerId);
        m_window->KillTimer(kLevelTimerId);
    }
    for (QAbstractButton* b : {m_recordButton.data(), m_playbackButton.data()}) {
        if (b) {
            const QSignalBlocker quiet(b);
            b->setChecked(false);
        }
    }
    if (m_recordButton) {
        m_recordButton->setEnabled(true);
    }
    if (m_playTime) {
        m_playTime->setText(QStringLiteral("00:00:00"));
    }
    if (m_slider) {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(0);
        m_slider->setEnabled(false);
        m_slider->setVisible(true);
    }
    const bool exists = RecordingExists();
    if (m_saveButton) {
        m_saveButton->setEnabled(exists);
    }
    if (m_playbackButton) {
        m_playbackButton->setEnabled(exists);
    }
    if (auto* levels = qobject_cast<SProgress*>(m_levels.data())) {
        levels->setValue(0);
        levels->setEnabled(false);
        levels->setVisible(false);
    }
    if (m_recordTime && !m_lastRecordTime.isEmpty()) {
        m_recordTime->setText(m_lastRecordTime);
    }
}

void CEventHandlerRecord::SetRecording() {
    m_state = State::kRecording;
    if (m_recordButton) {
        const QSignalBlocker quiet(m_recordButton);
        m_recordButton->setChecked(true);
    }
    for (QWidget* w :
         {static_cast<QWidget*>(m_playbackButton.data()), static_cast<QWidget*>(m_slider.data()),
          static_cast<QWidget*>(m_saveButton.data())}) {
        if (w) {
            w->setEnabled(false);
        }
    }
    if (m_playTime) {
        m_playTime->setText(QStringLiteral("00:00:00"));
    }
    if (m_recordTime) {
        m_recordTime->setText(QStringLiteral("00:00:00"));
    }
    m_lastRecordTime = QStringLiteral("00:00:00");
    if (m_window) {
        m_window->SetTimer(kRecordTimerId, kRecordTickMs);
        m_window->SetTimer(kLevelTimerId, kLevelTickMs);
    }
    if (m_levels) {
        m_levels->setEnabled(true);
        m_levels->setVisible(true);
    }
    if (m_slider) {
        m_slider->setVisible(false);
    }
}

void CEventHandlerRecord::SetFinishing() {
    m_state = State::kFinishing;
    if (m_window) {
        m_window->KillTimer(kRecordTimerId);
        m_window->KillTimer(kLevelTimerId);
    }
    // Until the file is complete nothing may start on it.
    if (m_recordButton) {
        const QSignalBlocker quiet(m_recordButton);
        m_recordButton->setChecked(false);
        m_recordButton->setEnabled(false);
    }
    if (auto* levels = qobject_cast<SProgress*>(m_levels.data())) {
        levels->setValue(0);
    }
}

void CEventHandlerRecord::SetPlaying() {
    m_state = State::kPlaying;
    if (m_window) {
        m_window->SetTimer(kPlaybackTimerId, kPlaybackTickMs);
    }
    if (m_playbackButton) {
        const QSignalBlocker quiet(m_playbackButton);
        m_playbackButton->setChecked(true);
    }
    pa::MediaInfo info;
    if (!m_holder.Player() || !m_holder.Player()->GetMediaInfo(info)) {
        info = {};
    }
    if (m_recordTime) {
        m_recordTime->setText(Clock(info.hours, info.minutes, info.secs));
    }
    if (m_slider) {
        const QSignalBlocker quiet(m_slider);
        m_slider->setRange(0, int(std::max<uint32_t>(1, info.seconds)));
        m_slider->setValue(0);
        m_slider->setEnabled(true);
    }
}

void CEventHandlerRecord::OnRecordTimer() {
    auto* recorder = m_holder.Recorder();
    if (!recorder) {
        return;
    }
    pa::EngineState state;
    if (m_state == State::kRecording && recorder->GetState(state) && !state.running &&
        !state.finishing) {
        // The device stopped the capture (refused format, gone): end with its words.
        RecordingEnded(u"录音已停止");
        return;
    }
    pa::Position pos;
    if (recorder->GetPosition(pos) && m_recordTime) {
        m_lastRecordTime = Clock(pos.hours, pos.minutes, pos.secs);
        m_recordTime->setText(m_lastRecordTime);
    }
}

void CEventHandlerRecord::OnPlaybackTimer() {
    pa::Position pos;
    if (!m_holder.Player() || !m_holder.Player()->GetPosition(pos)) {
        return;
    }
    if (m_slider) {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(int(pos.seconds));
    }
    if (m_playTime) {
        m_playTime->setText(Clock(pos.hours, pos.minutes, pos.secs));
    }
}

void CEventHandlerRecord::OnLevelTimer() {
    unsigned first = 0;
    unsigned second = 0;
    auto* levels = qobject_cast<SProgress*>(m_levels.data());
    if (m_holder.Recorder() && m_holder.Recorder()->GetLevels(first, second) && levels) {
        levels->setValue(int(std::max(first, second)));
    }
}

void CEventHandlerRecord::OnSeekPressed() {
    if (m_window) {
        m_window->KillTimer(kPlaybackTimerId);
    }
}

void CEventHandlerRecord::OnSeekReleased() {
    if (m_holder.IsPlayerRunning() && m_slider) {
        pa::Position to;
        to.seconds = uint32_t(m_slider->value());
        m_holder.Player()->Seek(pa::kSeekSeconds, to, 1);
        m_window->SetTimer(kPlaybackTimerId, kSeekPauseMs);
    } else {
        if (m_slider) {
            const QSignalBlocker quiet(m_slider);
            m_slider->setValue(0);
        }
        if (m_playTime) {
            m_playTime->setText(QStringLiteral("00:00:00"));
        }
    }
}

}  // namespace sound::ui
