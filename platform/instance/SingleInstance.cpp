#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <exception>

#include "PanelLock.h"

namespace {

QString RuntimeFolder() {
    return QString::fromStdString(platform::instance::RuntimeFolder().string());
}

// The single-instance lock; the panel lock that lyntctl reads is held beside it.
QString InstanceLockPath() {
    return RuntimeFolder() + "/velora-instance.lock";
}

QString FirmwareToolSocket() {
    return RuntimeFolder() + "/velora-firmware-tool.sock";
}

bool SendLine(const QString& socketPath, const QByteArray& line) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(1000)) {
        return false;
    }
    socket.write(line);
    bool written = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return written;
}

std::unique_ptr<QLockFile> TakeLock(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    // Only a live holder counts: a lock whose process is gone is stale at once, however new.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return nullptr;
    }
    return lock;
}

// The folder is private, but a socket can be reached by a descriptor passed on: check the peer.
bool PeerIsThisUser(const QLocalSocket* socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                        &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

}  // namespace

CSingleInstance::CSingleInstance() = default;

CSingleInstance::~CSingleInstance() {
    if (m_server) {
        m_server->close();
    }
}

QString CSingleInstance::SocketPath() {
    return QString::fromStdString(platform::instance::PanelSocketPath().string());
}

bool CSingleInstance::Acquire() {
    if (RuntimeFolder().isEmpty()) {
        qWarning("velora: no private runtime folder: running without the single-instance lock");
        return true;
    }
    m_instanceLock = TakeLock(InstanceLockPath());
    if (!m_instanceLock) {
        return false;
    }
    m_runLock = TakeLock(QString::fromStdString(platform::instance::PanelLockPath().string()));
    return m_runLock != nullptr;
}

bool CSingleInstance::Listen() {
    const QString path = SocketPath();
    if (path.isEmpty()) {
        m_error = QStringLiteral("no private runtime folder for the panel's socket");
        return false;
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
    QLocalServer::removeServer(path);  // left by a crashed run; we hold the lock
    if (!m_server->listen(path)) {
        m_error = QStringLiteral("cannot listen on %1: %2").arg(path, m_server->errorString());
        m_server.reset();
        return false;
    }
    return true;
}

void CSingleInstance::SetHandler(MessageHandler handler) {
    m_handler = std::move(handler);
    std::vector<Message> queued;
    queued.swap(m_queued);
    for (const Message& m : queued) {
        Deliver(m);
    }
}

void CSingleInstance::Deliver(const Message& m) {
    if (m_handler) {
        m_handler(m.msg, m.wParam, m.lParam);
    } else if (m_queued.size() < kMaxQueued) {
        m_queued.push_back(m);
    }
}

// A request's answer goes back on the socket it came on, as long as that is open. What the client
// has not read waits in the socket's buffer: a client that stops reading must not make that grow
// without bound.
class CSocketReply : public platform::instance::IPanelReply {
public:
    explicit CSocketReply(QLocalSocket* socket) : m_socket(socket) {}
    void Send(const std::string& line) override {
        if (!m_socket || m_socket->state() != QLocalSocket::ConnectedState)
            return;
        if (m_socket->bytesToWrite() > static_cast<qint64>(CSingleInstance::kGoneClientBytes)) {
            qWarning("velora: a lyntctl client left %lld bytes unread; its connection is closed",
                     static_cast<long long>(m_socket->bytesToWrite()));
            m_socket->abort();  // disconnected: Closed() ends what the command kept
            return;
        }
        m_socket->write(QByteArray::fromStdString(line + "\n"));
    }
    void SendDroppable(const std::string& line) override {
        if (m_socket &&
            m_socket->bytesToWrite() > static_cast<qint64>(CSingleInstance::kSlowClientBytes)) {
            return;  // the client is behind: this one is missed, the next may get through
        }
        Send(line);
    }
    qint64 Backlog() const { return m_socket ? m_socket->bytesToWrite() : 0; }
    void Finish() override {
        if (m_socket) {
            m_socket->flush();  // at the program's end no event loop writes it later
            m_socket->disconnectFromServer();  // after what is still to be written
        }
    }
    void OnClosed(std::function<void()> handler) override {
        if (m_socket && m_socket->state() == QLocalSocket::ConnectedState) {
            m_onClosed = std::move(handler);
        } else if (handler) {
            handler();
        }
    }
    void Closed() {
        // Once, and what the handler holds goes with it.
        std::function<void()> handler;
        handler.swap(m_onClosed);
        if (handler)
            handler();
    }

private:
    QPointer<QLocalSocket> m_socket;
    std::function<void()> m_onClosed;
};

namespace {
constexpr char kRequestSizeProperty[] = "veloraRequestSize";

void Refuse(QLocalSocket* socket, const std::string& reason, int status) {
    socket->write(QByteArray::fromStdString(platform::instance::RefusalAnswer(reason, status)));
    socket->disconnectFromServer();
}
}  // namespace

size_t CSingleInstance::AnswerBacklog() const {
    size_t bytes = 0;
    for (const auto& r : m_replies) {
        if (auto reply = r.lock())
            bytes += static_cast<size_t>(reply->Backlog());
    }
    return bytes;
}

void CSingleInstance::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(socket)) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
    }
}

void CSingleInstance::OnReadyRead(QLocalSocket* socket) {
    const QVariant size = socket->property(kRequestSizeProperty);
    if (size.isValid()) {
        TakeRequest(socket);
        return;
    }
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(256).trimmed();
        if (line.startsWith(platform::instance::kRequestPrefix)) {
            std::string reason;
            const size_t n = platform::instance::RequestLength(
                line.mid(qsizetype(std::strlen(platform::instance::kRequestPrefix)))
                    .toStdString(),
                &reason);
            if (n == 0) {
                Refuse(socket, reason, 1);
                return;
            }
            socket->setProperty(kRequestSizeProperty, qlonglong(n));
            // A body shorter than its length would hold the connection for ever.
            QPointer<QLocalSocket> watched(socket);
            QTimer::singleShot(m_requestWaitMs, socket, [watched] {
                if (watched && watched->property(kRequestSizeProperty).toLongLong() > 0) {
                    Refuse(watched, "bad request: shorter than its length", 1);
                }
            });
            TakeRequest(socket);
            return;
        }
        const QList<QByteArray> fields = line.split(' ');
        bool ok[3] = {false, false, false};
        if (fields.size() != 3) {
            continue;  // not ours: ignore it
        }
        Message m{fields[0].toUInt(&ok[0]), fields[1].toULongLong(&ok[1]),
                  fields[2].toLongLong(&ok[2])};
        if (ok[0] && ok[1] && ok[2]) {
            Deliver(m);
        }
    }
    if (socket->bytesAvailable() > 256) {
        socket->abort();  // a line that never ends
    }
}

void CSingleInstance::TakeRequest(QLocalSocket* socket) {
    const qlonglong size = socket->property(kRequestSizeProperty).toLongLong();
    if (size <= 0) {
        socket->readAll();  // the request was taken already: nothing more is read
        return;
    }
    if (socket->bytesAvailable() < size) {
        return;  // the rest is on its way
    }
    socket->setProperty(kRequestSizeProperty, qlonglong(0));  // one request per connection
    const std::string body = socket->read(size).toStdString();
    if (!m_requestHandler) {
        Refuse(socket, "the control panel is starting; try again", 3);
        return;
    }
    auto reply = std::make_shared<CSocketReply>(socket);
    connect(socket, &QLocalSocket::disconnected, socket, [reply] { reply->Closed(); });
    std::erase_if(m_replies, [](const auto& r) { return r.expired(); });
    m_replies.push_back(reply);
    // The request is outside data: whatever escapes its handler fails this request only.
    try {
        m_requestHandler(body, reply);
    } catch (const std::exception& e) {
        qWarning("velora: a lyntctl request failed: %s", e.what());
        Refuse(socket, "the control panel failed on this request", 3);
    } catch (...) {
        qWarning("velora: a lyntctl request failed");
        Refuse(socket, "the control panel failed on this request", 3);
    }
}

void CSingleInstance::EndRequests() {
    m_requestHandler = nullptr;
    for (const auto& r : m_replies) {
        if (auto reply = r.lock()) {
            reply->Finish();
            reply->Closed();
        }
    }
    m_replies.clear();
}

bool CSingleInstance::SendToRunning(uint32_t msg, uint64_t wParam, int64_t lParam, int retryMs) {
    constexpr int kStepMs = 50;
    for (int waited = 0;; waited += kStepMs) {
        if (platform::instance::SendToPanel(msg, wParam, lParam)) {
            return true;
        }
        if (waited >= retryMs || !platform::instance::IsPanelRunning()) {
            return false;
        }
        QThread::msleep(kStepMs);
    }
}

bool CSingleInstance::CloseFirmwareTool() {
    return !RuntimeFolder().isEmpty() && SendLine(FirmwareToolSocket(), "close\n");
}
