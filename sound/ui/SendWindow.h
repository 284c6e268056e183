#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ClipSendJob.h"
#include "toolkit/HostWindow.h"

class CQVAudioProtocol;
class QLabel;
class SProgress;

namespace sound::ui {

// Sends one clip to one of the card's slots: decoding, waiting for the card, the progress of the
// transfer. The user cannot close it; it ends by itself when the transfer has ended or failed,
// after the failure's message. While it exists the busy flag is raised (by its job).
class SendWindow : public toolkit::CHostDialog, public sound::clip::IClipSendView {
    Q_OBJECT
public:
    SendWindow(const sound::clip::ClipSendRequest& request, CQVAudioProtocol& protocol,
               std::atomic<int>& loadingEffect, QWidget* owner);
    ~SendWindow() override;

    void SetResourceReader(sound::clip::CLibmadDecoder::ResourceReader reader);
    // Starts decoding; the dialog's loop (exec) then shows the rest.
    void Start();
    void reject() override {}  // Escape does not end a transfer

    sound::clip::ClipOutcome Outcome() const { return m_outcome; }
    // What the failure message said, empty after a good transfer.
    QString FailureText() const { return m_failure; }
    const sound::clip::CClipSendJob& Job() const { return *m_job; }

    void OnClipStage(sound::clip::ClipStage stage) override;
    void OnClipProgress(uint32_t sent, uint32_t total) override;
    void OnClipFinished(sound::clip::ClipOutcome outcome) override;

protected:
    bool OnControlEvent(const toolkit::ControlEvent& ev) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void EndWithMessage();

    sound::clip::ClipSendRequest m_request;
    std::unique_ptr<sound::clip::CClipSendJob> m_job;
    QWidget* m_waiting = nullptr;
    QWidget* m_sending = nullptr;
    SProgress* m_progress = nullptr;
    QLabel* m_tip = nullptr;
    sound::clip::ClipOutcome m_outcome = sound::clip::ClipOutcome::None;
    QString m_failure;
};

// What the dialog needs of the program; the application sets it once at start.
struct SendWindowContext {
    CQVAudioProtocol* protocol = nullptr;
    std::atomic<int>* loadingEffect = nullptr;
    // The program's own clips by name; by default ":/clips/NAME" of the Qt resources.
    sound::clip::CLibmadDecoder::ResourceReader readResource;
};
void SetSendWindowContext(SendWindowContext context);

// The default resource reader: a built-in clip's name ("DJ_DHX") is the Qt resource
// ":/clips/DJ_DHX.mp3"; a name starting with ":" is taken as it is.
bool ReadClipResource(const std::u16string& name, std::vector<uint8_t>& bytes);

// The pad's "发送到声卡" action: sends path (a file, or with fromResource the name of one of the
// program's clips) to slot at the pad's volume, modally over parent. Returns 1 when the card took
// the clip, 0 when it failed (the message has been shown), -1 when ignored: a clip or effect is
// on its way already, no card protocol, or no such slot.
int RunSendWindow(QWidget* parent, const std::u16string& path, bool fromResource, int slot,
                  int volume);

}  // namespace sound::ui
