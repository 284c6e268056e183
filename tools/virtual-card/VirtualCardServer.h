#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CardLoader.h"
#include "CardModel.h"

namespace vcard {

struct ServerOptions {
    std::filesystem::path socketPath;
    std::filesystem::path framesLog;  // empty: none
    CardIdentity identity;
    int levelsHz = 0;
    int dropRepliesPct = 0;
    int corruptRepliesPct = 0;
    int replyDelayMs = 0;
    int inputReportBytes = 64;   // payload bytes per report, without the report id
    int outputReportBytes = 64;
    bool loaderNever = false;  // after CMD_FW_ENTER_BOOT the card goes and no loader comes
    int loaderDelayMs = 0;     // the loader appears this long after the card went
    // The card's node goes this long after its loader appeared: a host hears of the card's
    // removal only once it has seen the loader (a late removal notice on a busy machine).
    int removalDelayMs = 0;
    int loaderFailBlock = -1;  // the loader leaves blocks from this index on unanswered
    // Each open waits this long for the report descriptor: a node whose access udev has not set
    // yet keeps a host's open retrying for about as long.
    int openDelayMs = 0;
};

// Plays one plugged card on a Unix socket: listens, takes one host at a time, answers its frames
// through the card model and sends reports on request. Everything on the wire happens on one
// I/O thread; the public calls are safe from any thread.
class CVirtualCardServer {
public:
    explicit CVirtualCardServer(ServerOptions options);
    ~CVirtualCardServer();
    CVirtualCardServer(const CVirtualCardServer&) = delete;
    CVirtualCardServer& operator=(const CVirtualCardServer&) = delete;

    // Creates the socket and starts serving; false when the socket cannot be made.
    bool Start();
    void Stop();

    // The path a host opens: "vcard:" + socket path.
    std::string DevicePath() const;

    // Card-side actions.
    void TurnKnob(int id, int value);
    void SendLevels(const std::vector<int>& levels);
    // Sends a frame exactly as given, checksum and all (for playing a faulty card).
    void SendRawFrame(const card::Frame& frame);
    void Unplug();  // drops the host and removes the socket, as pulling the cable does
    bool Plug();
    bool IsHostConnected() const { return m_hostConnected.load(); }
    // The loader runs instead of the card (after CMD_FW_ENTER_BOOT, until a plug after a good
    // image brings the card back with the new firmware).
    bool InLoader() const;

    // Fault injection, changeable while running.
    void SetDropRepliesPct(int pct) { m_dropPct = pct; }
    void SetCorruptRepliesPct(int pct) { m_corruptPct = pct; }
    void SetReplyDelayMs(int ms) { m_delayMs = ms; }
    // A muted card hears the host's frames and neither takes nor answers them, as a card that
    // hangs mid-session would; unmuted it answers again.
    void SetMuted(bool muted) { m_muted = muted; }
    // The loader (running now, or the next one) leaves blocks from this index on unanswered;
    // -1: it answers every block.
    void SetLoaderFailBlock(int block);
    bool Muted() const { return m_muted.load(); }

    // CPU time the card's I/O thread has used, so measurements can leave the card out.
    double IoThreadCpuSeconds() const;

    // Reads the card model under the server's lock.
    void Inspect(const std::function<void(const CCardModel&)>& fn) const;
    std::string StateJson() const;

private:
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        card::Frame frame;
    };

    bool Listen();
    void CloseListener();
    void Loop();
    void AcceptHost();
    void DropHost();
    void ReadFromHost();
    void FlushOutbox();
    void Enqueue(const card::Frame& frame, int delayMs);
    void Wake();
    void LogFrame(char direction, const card::Frame& frame);
    int NextTimeoutMs() const;
    // The switch to the loader and back, on the I/O thread.
    void EnterLoader();
    void LeaveLoader();

    ServerOptions m_options;
    mutable std::mutex m_mutex;  // guards the model, the outbox and the frames log
    CCardModel m_model;
    std::deque<Outgoing> m_outbox;
    std::FILE* m_framesLog = nullptr;
    std::chrono::steady_clock::time_point m_startTime;
    std::chrono::steady_clock::time_point m_nextLevels;
    std::mt19937 m_random{12345};
    std::filesystem::path m_socketPath;  // the card's socket, or the loader's while it runs
    std::unique_ptr<CCardLoader> m_loader;  // the last loader run, kept for its state
    bool m_loaderActive = false;
    bool m_bootRequested = false;  // I/O thread only
    // The host's queue was full at the last send: the I/O thread waits until it can write
    // instead of polling again at once; I/O thread only.
    bool m_hostFull = false;
    // When the loader's socket is to appear (--loader-delay); I/O thread only.
    std::optional<std::chrono::steady_clock::time_point> m_loaderDue;
    // The card's node left behind by --removal-delay, and when it goes; I/O thread only.
    std::filesystem::path m_staleNode;
    std::optional<std::chrono::steady_clock::time_point> m_staleNodeDue;

    int m_listenFd = -1;
    int m_hostFd = -1;
    int m_wakeFd = -1;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_hostConnected{false};
    std::atomic<bool> m_unplugRequested{false};
    std::atomic<bool> m_plugRequested{false};
    std::atomic<int> m_dropPct;
    std::atomic<int> m_corruptPct;
    std::atomic<int> m_delayMs;
    std::atomic<bool> m_muted{false};
    std::thread m_thread;
};

}  // namespace vcard
