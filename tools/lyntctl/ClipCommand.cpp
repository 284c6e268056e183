// lyntctl send-clip: an MP3 file into one of the card's clip slots, the way the panel's dialog
// sends it (same decoder, converter and transfer worker).
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ClipSendJob.h"
#include "ClipSlots.h"
#include "Commands.h"
#include "CtlSession.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

using sound::clip::ClipOutcome;
using sound::clip::ClipStage;

// Shows the send on a terminal and keeps the job until it ends.
class CClipProgress : public sound::clip::IClipSendView {
public:
    CClipProgress(CQVAudioProtocol& protocol, std::atomic<int>& loading, bool show,
                  const COutput& out)
        : m_show(show),
          m_out(out),
          m_job(std::make_unique<sound::clip::CClipSendJob>(protocol, loading, *this)) {}

    // Through the panel every step also tells lyntctl that the card is still at work.
    void OnClipStage(ClipStage stage) override {
        if (stage == ClipStage::WaitingForCard)
            m_out.Progress("waiting for the card to take the clip...\n", m_show);
    }
    void OnClipProgress(uint32_t sent, uint32_t total) override {
        const int percent = total ? static_cast<int>(100ull * sent / total) : 0;
        if (percent != m_percent) {
            m_percent = percent;
            char text[48];
            std::snprintf(text, sizeof text, "\rsending clip: %3d%%", percent);
            m_out.Progress(text, m_show);
        }
        m_sent = sent;
        m_total = total;
    }
    void OnClipFinished(ClipOutcome outcome) override {
        if (m_percent >= 0)
            m_out.Progress("\n", m_show);
        m_outcome = outcome;
        if (m_onDone)
            m_onDone();
    }

    sound::clip::CClipSendJob& Job() { return *m_job; }
    void OnDone(std::function<void()> done) { m_onDone = std::move(done); }
    bool Done() const { return m_outcome != ClipOutcome::None; }
    ClipOutcome Outcome() const { return m_outcome; }
    uint32_t Sent() const { return m_sent; }
    uint32_t Total() const { return m_total; }
    sound::clip::ClipLength Length() const { return m_job->Length(); }

private:
    bool m_show;
    COutput m_out;
    int m_percent = -1;
    uint32_t m_sent = 0;
    uint32_t m_total = 0;
    ClipOutcome m_outcome = ClipOutcome::None;
    std::function<void()> m_onDone;
    std::unique_ptr<sound::clip::CClipSendJob> m_job;  // last: goes first
};

// Seconds to the millisecond, for the JSON result.
double Milliseconds(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

int Report(const COutput& out, const std::string& file, int slot, const CClipProgress& p) {
    switch (p.Outcome()) {
        case ClipOutcome::Sent: {
            const sound::clip::ClipLength length = p.Length();
            Json::Value o;
            o["type"] = "result";
            o["command"] = "send-clip";
            o["ok"] = true;
            o["file"] = file;
            o["slot"] = slot;
            o["bytes"] = p.Total();
            o["cut"] = length.cut;
            o["clip_length"] = Milliseconds(length.sourceSeconds);
            o["sent_length"] = Milliseconds(length.sentSeconds);
            o["length_unit"] = "s";
            std::string text = "sent " + file + " to slot " + std::to_string(slot) + " (" +
                               std::to_string(p.Total()) + " bytes)";
            // The user's clip is never cut without a word.
            if (length.cut) {
                char cut[160];
                std::snprintf(cut, sizeof cut,
                              "\nthe clip was cut: %.1f s of its %.1f s were sent (slot %d holds "
                              "%d s)",
                              length.sentSeconds, length.sourceSeconds, slot,
                              sound::clip::SlotSeconds(slot));
                text += cut;
            }
            out.Emit(text, o);
            return kExitOk;
        }
        case ClipOutcome::DecodeFailed:
            out.Error("特效解码失败: " + file + " gave no sound to send");
            return kExitUsage;
        case ClipOutcome::ThreadFailed:
            out.Error("创建线程失败");
            return kExitNoAnswer;
        default:
            out.Error("载入特效失败: the card did not take the whole clip");
            return kExitNoAnswer;
    }
}

bool ParseInt(const std::string& s, int& v) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

int CmdSendClip(const Invocation& in) {
    const char* usage = "usage: lyntctl send-clip FILE.mp3 --slot N [--volume V]";
    std::string file;
    int slot = -1;
    int volume = 100;
    for (size_t i = 0; i < in.args.size(); ++i) {
        const std::string& a = in.args[i];
        if ((a == "--slot" || a == "--volume") && i + 1 < in.args.size()) {
            int& target = a == "--slot" ? slot : volume;
            if (!ParseInt(in.args[++i], target)) {
                in.out.Error(usage);
                return kExitUsage;
            }
        } else if (file.empty() && !a.starts_with("--")) {
            file = a;
        } else {
            in.out.Error(usage);
            return kExitUsage;
        }
    }
    if (file.empty() || sound::clip::SlotSeconds(slot) == 0 || volume < 0 || volume > 100) {
        in.out.Error(std::string(usage).append("\n  slots 0-4, volume 0-100"));
        return kExitUsage;
    }
    // The panel's working directory is not the user's: through it only a full name is taken.
    if (in.panel && !std::filesystem::path(file).is_absolute()) {
        in.out.Error("cannot send " + file + ": the control panel needs the file's full name");
        return kExitUsage;
    }
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(file, ec);
    if (ec || !std::filesystem::is_regular_file(path, ec) || ::access(path.c_str(), R_OK) != 0) {
        in.out.Error("cannot send " + file + ": not a file this user can read");
        return kExitUsage;
    }
    CTarget session(in.panel);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    if (session->LoadingEffect().load() != 0) {
        in.out.Error("正在载入特效: another clip or effect is on its way to the card");
        return kExitPanelRunning;
    }
    auto progress = std::make_shared<CClipProgress>(session->Protocol(), session->LoadingEffect(),
                                                    in.showProgress, in.out);
    progress->Job().Start({platform::profile::FromUtf8(path.string()), false, slot, volume});
    if (auto finish = session->Continue(progress, true)) {
        CClipProgress* p = progress.get();
        progress->OnDone(
            [finish, p, out = in.out, file, slot] { finish(Report(out, file, slot, *p)); });
        return kExitOk;
    }
    // Every block waits at most 3 × 2 s for the card, so the job always ends.
    while (!progress->Done()) {
        session.Own()->Dispatcher().PumpFor(60 * 1000);
    }
    return Report(in.out, file, slot, *progress);
}

}  // namespace ctl
