#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include "PanelLock.h"

namespace {

QString RuntimeFolder() {
    return QString::fromStdString(platform::instance::PanelLockPath().parent_path().string());
}

// The single-instance lock; the panel lock that lyntctl reads is held beside it.
QString InstanceLockPath() { return RuntimeFolder() + "/velora-instance.lock"; }

QString FirmwareToolSocket() { return RuntimeFolder() + "/velora-firmware-tool.sock"; }

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
    QDir().mkpath(RuntimeFolder());
    m_instanceLock = TakeLock(InstanceLockPath());
    if (!m_instanceLock) {
        return false;
    }
    m_runLock = TakeLock(QString::fromStdString(platform::instance::PanelLockPath().string()));
    return m_runLock != nullptr;
}

bool CSingleInstance::Listen(MessageHandler handler) {
    m_handler = std::move(handler);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(SocketPath());  // left by a crashed run; we hold the lock
    if (!m_server->listen(SocketPath())) {
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
    return true;
}

void CSingleInstance::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QList<QByteArray> fields = socket->readLine(256).trimmed().split(' ');
                bool ok[3] = {false, false, false};
                if (fields.size() != 3) {
                    continue;  // not ours: ignore it
                }
                uint32_t msg = fields[0].toUInt(&ok[0]);
                uint64_t wParam = fields[1].toULongLong(&ok[1]);
                int64_t lParam = fields[2].toLongLong(&ok[2]);
                if (ok[0] && ok[1] && ok[2] && m_handler) {
                    m_handler(msg, wParam, lParam);
                }
            }
            if (socket->bytesAvailable() > 256) {
                socket->abort();  // a line that never ends
            }
        });
    }
}

bool CSingleInstance::SendToRunning(uint32_t msg, uint64_t wParam, int64_t lParam) {
    return platform::instance::SendToPanel(msg, wParam, lParam);
}

bool CSingleInstance::CloseFirmwareTool() { return SendLine(FirmwareToolSocket(), "close\n"); }
