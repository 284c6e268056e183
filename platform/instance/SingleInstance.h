#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

// One control panel per user. The first start holds two lock files for its run and listens on a
// local socket in the runtime folder; a second start, lyntctl and other programs send it window
// messages there as text lines "MSG WPARAM LPARAM".
class CSingleInstance : public QObject {
    Q_OBJECT
public:
    using MessageHandler = std::function<void(uint32_t msg, uint64_t wParam, int64_t lParam)>;

    CSingleInstance();
    ~CSingleInstance() override;

    // Takes both locks (a lock left by a crashed run is taken over). False: another panel runs.
    bool Acquire();
    // Listens for messages; they reach handler on this (the UI) thread.
    bool Listen(MessageHandler handler);

    // The socket the first instance listens on.
    static QString SocketPath();
    // Sends one message to the running panel; false when none listens.
    static bool SendToRunning(uint32_t msg, uint64_t wParam, int64_t lParam);
    // Asks the separate firmware tool, when one runs, to close its window.
    static bool CloseFirmwareTool();

private:
    void OnConnection();

    std::unique_ptr<QLockFile> m_instanceLock;
    std::unique_ptr<QLockFile> m_runLock;
    std::unique_ptr<QLocalServer> m_server;
    MessageHandler m_handler;
};
