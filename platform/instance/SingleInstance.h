#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PanelRequest.h"

class CSocketReply;
class QLocalServer;
class QLocalSocket;
class QLockFile;

// One control panel per user. The first start holds two lock files for its run and listens on a
// local socket in the user's private runtime folder; a second start, lyntctl and other programs
// send it window messages there as text lines "MSG WPARAM LPARAM", and lyntctl its commands as
// framed requests (PanelRequest.h). Only the same user's processes are heard.
class CSingleInstance : public QObject {
    Q_OBJECT
public:
    using MessageHandler = std::function<void(uint32_t msg, uint64_t wParam, int64_t lParam)>;
    using RequestHandler = std::function<void(
        const std::string& body, const std::shared_ptr<platform::instance::IPanelReply>& reply)>;
    static constexpr size_t kMaxQueued = 64;
    // Unread answer bytes of one client beyond which droppable lines are dropped, and beyond
    // which the client counts as gone and is disconnected.
    static constexpr size_t kSlowClientBytes = 64 * 1024;
    static constexpr size_t kGoneClientBytes = 4 * 1024 * 1024;

    CSingleInstance();
    ~CSingleInstance() override;

    // Takes both locks (a lock left by a crashed run is taken over). False: another panel runs.
    // Without a private runtime folder there is nothing to lock: true, and the panel runs alone.
    bool Acquire();
    // Listens for messages at once, before the program is ready for them: what arrives before
    // SetHandler waits in a queue. False (see ErrorString) when the socket cannot be had.
    bool Listen();
    QString ErrorString() const { return m_error; }
    // Messages reach handler on this (the UI) thread; the queued ones first.
    void SetHandler(MessageHandler handler);
    size_t QueuedCount() const { return m_queued.size(); }
    // lyntctl's requests reach handler on this thread; until there is one they are answered that
    // the panel is starting.
    void SetRequestHandler(RequestHandler handler) { m_requestHandler = std::move(handler); }
    // Before what the requests work on goes: no more requests, and those still running (monitor)
    // end now.
    void EndRequests();
    // Answer bytes still waiting for their clients to read them.
    size_t AnswerBacklog() const;
    // How long a request's body may take to arrive after its length.
    void SetRequestWaitMs(int ms) { m_requestWaitMs = ms; }

    // The socket the first instance listens on.
    static QString SocketPath();
    // Sends one message to the running panel; false when none listens. A panel that holds the
    // lock but does not listen yet (it is starting) is tried again for up to retryMs.
    static bool SendToRunning(uint32_t msg, uint64_t wParam, int64_t lParam, int retryMs = 0);
    // Asks the separate firmware tool, when one runs, to close its window.
    static bool CloseFirmwareTool();

private:
    struct Message {
        uint32_t msg;
        uint64_t wParam;
        int64_t lParam;
    };
    void OnConnection();
    void Deliver(const Message& m);
    void OnReadyRead(QLocalSocket* socket);
    void TakeRequest(QLocalSocket* socket);

    std::unique_ptr<QLockFile> m_instanceLock;
    std::unique_ptr<QLockFile> m_runLock;
    std::unique_ptr<QLocalServer> m_server;
    MessageHandler m_handler;
    RequestHandler m_requestHandler;
    std::vector<std::weak_ptr<CSocketReply>> m_replies;
    std::vector<Message> m_queued;
    QString m_error;
    int m_requestWaitMs = 2000;
};
