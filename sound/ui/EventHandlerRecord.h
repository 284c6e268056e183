#pragma once

#include <QPointer>
#include <QString>
#include <filesystem>
#include <functional>
#include <string_view>

#include "AudioEngineHolder.h"
#include "ccm_util/EventBus.h"
#include "toolkit/PageController.h"

class QAbstractButton;
class QAbstractSlider;
class QLabel;
class QWidget;

namespace sound::ui {

// The recording panel under the sound pads: records what the card sends to the computer into one
// MP3 file, plays that recording back with a seek slider, and saves copies of it.
//
// Sleep and the session's end reach it through the main window as the messages below, before the
// card's own handling; they stop the recorder and the player.
class CEventHandlerRecord : public toolkit::IPageController {
public:
    static constexpr int kRecordTimerId = 1002;
    static constexpr int kPlaybackTimerId = 1003;
    static constexpr int kLevelTimerId = 1008;
    static constexpr int kRecordTickMs = 200;
    static constexpr int kPlaybackTickMs = 200;
    static constexpr int kSeekPauseMs = 500;
    static constexpr int kLevelTickMs = 20;
    // The system's messages as the shell forwards them.
    static constexpr uint32_t kMsgQueryEndSession = 0x0011;
    static constexpr uint32_t kMsgPowerBroadcast = 0x0218;
    static constexpr uint64_t kPowerSuspend = 4;
    static constexpr const char16_t* kDeviceName = u"Orin LYNT!";
    static constexpr const char* kFileName = "tmp_record.mp3";

    // kFinishing: stopped, the engine completes the file with the frames the device still owed.
    enum class State { kIdle, kRecording, kFinishing, kPlaying };

    // The file name for the copy the user saves; empty when cancelled.
    using SaveChooser = std::function<QString(QWidget* owner)>;

    // recording: the recording file (data folder / tmp_record.mp3). cardOpen tells whether the
    // card is still there when the device changes.
    CEventHandlerRecord(std::filesystem::path recording, std::function<bool()> cardOpen);
    // Keeps the shown recording time for the next start.
    ~CEventHandlerRecord() override;
    CEventHandlerRecord(const CEventHandlerRecord&) = delete;
    CEventHandlerRecord& operator=(const CEventHandlerRecord&) = delete;

    void SetSaveChooser(SaveChooser chooser) { m_chooseSave = std::move(chooser); }

    void Setup(toolkit::CHostWindow& window) override;
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;
    bool OnControlEvent(const toolkit::ControlEvent& event) override;

    void OnRecordButton();
    void OnPlaybackButton();
    void OnSave();
    // Stops and releases the recorder and the player: sleep, the session's end, the card gone.
    void StopAll();

    State CurrentState() const { return m_state; }
    AudioEngineHolder& Holder() { return m_holder; }
    // Ticks, for tests and the window's timers.
    void OnRecordTimer();
    void OnPlaybackTimer();
    void OnLevelTimer();

private:
    void StopRecording();
    // The recorder's file is complete or failed: its words (else fallbackError) and its length.
    void RecordingEnded(std::u16string_view fallbackError);
    bool MeasureRecording(platform::audio::MediaInfo& info) const;
    void SetIdle();
    void SetRecording();
    void SetFinishing();
    void SetPlaying();
    void ShowError(const std::u16string& text) const;
    void Tip(const QString& text, bool warning, int durationMs) const;
    bool RecordingExists() const;
    void OnSeekPressed();
    void OnSeekReleased();

    std::filesystem::path m_recording;
    std::function<bool()> m_cardOpen;
    toolkit::CHostWindow* m_window = nullptr;
    AudioEngineHolder m_holder;
    State m_state = State::kIdle;
    QString m_lastRecordTime;

    QPointer<QWidget> m_container;
    QPointer<QLabel> m_recordTime;
    QPointer<QAbstractButton> m_recordButton;
    QPointer<QAbstractButton> m_playbackButton;
    QPointer<QAbstractButton> m_saveButton;
    QPointer<QLabel> m_playTime;
    QPointer<QAbstractSlider> m_slider;
    QPointer<QWidget> m_levels;

    SaveChooser m_chooseSave;
    ccm_util::CEventSubscription m_playbackSubscription;
    ccm_util::CEventSubscription m_deviceSubscription;
};

}  // namespace sound::ui

using sound::ui::CEventHandlerRecord;
