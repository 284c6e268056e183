// The single-instance socket: it listens before the program is ready, keeps what arrives until
// then, and says why it cannot listen.
#include <QTest>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "PanelRequest.h"
#include "SingleInstance.h"
#include "TempDir.h"

class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir;

    void UseRuntimeFolder(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        ::chmod(folder.c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder.string()));
    }

private slots:
    void init() { dir = std::make_unique<TempDir>(); }
    void cleanup() {
        qunsetenv("XDG_RUNTIME_DIR");
        dir.reset();
    }

    void aStartDuringInitIsKeptUntilTheProgramIsReady() {
        UseRuntimeFolder(dir->Path());
        CSingleInstance first;
        QVERIFY(first.Acquire());
        QVERIFY(first.Listen());
        CSingleInstance second;
        QVERIFY(!second.Acquire());  // one panel per user
        QVERIFY(CSingleInstance::SendToRunning(1125, 5, 0));
        QTRY_COMPARE(first.QueuedCount(), size_t(1));
        std::vector<std::pair<uint32_t, uint64_t>> got;
        first.SetHandler(
            [&got](uint32_t msg, uint64_t wParam, int64_t) { got.emplace_back(msg, wParam); });
        QCOMPARE(got.size(), size_t(1));  // delivered as soon as there is a handler
        QCOMPARE(got[0], std::make_pair(1125u, uint64_t(5)));
        QVERIFY(CSingleInstance::SendToRunning(1126, 0, 0));
        QTRY_COMPARE(got.size(), size_t(2));
        QCOMPARE(got[1], std::make_pair(1126u, uint64_t(0)));
    }

    // The folder keeps other users out; the peer check is what stands when it does not (a
    // descriptor passed on, a folder opened up). Only root can be another user here.
    void aRequestFromAnotherUserIsNotHeard() {
        if (::getuid() != 0)
            QSKIP("needs root to act as another user");
        UseRuntimeFolder(dir->Path() / "run");
        CSingleInstance instance;
        QVERIFY(instance.Acquire());
        QVERIFY(instance.Listen());
        std::vector<std::string> bodies;
        instance.SetRequestHandler(
            [&bodies](const std::string& body,
                      const std::shared_ptr<platform::instance::IPanelReply>& reply) {
                bodies.push_back(body);
                reply->Send("{\"status\":0}");
                reply->Finish();
            });
        const QByteArray path = CSingleInstance::SocketPath().toLocal8Bit();
        ::chmod(dir->Path().c_str(), 0755);
        ::chmod((dir->Path() / "run").c_str(), 0711);
        ::chmod(path.constData(), 0777);
        // Exit status: 0 no answer and the connection closed, 1 no connection, 2 an answer.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.constData());
        auto request = [&address](uid_t uid) {
            pid_t child = ::fork();
            if (child == 0) {
                if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0))
                    ::_exit(1);
                int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                    ::_exit(1);
                const char request[] = "CTL 2\n{}";
                if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) < 0)
                    ::_exit(1);
                char answer[64];
                ::_exit(::recv(fd, answer, sizeof answer, 0) > 0 ? 2 : 0);
            }
            return child;
        };
        auto statusOf = [](pid_t child) {
            int status = -1;
            for (int i = 0; i < 500 && ::waitpid(child, &status, WNOHANG) == 0; ++i) {
                QTest::qWait(10);  // the server answers from this loop
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        };
        QCOMPARE(statusOf(request(65534)), 0);
        QVERIFY(bodies.empty());
        QCOMPARE(statusOf(request(0)), 2);  // the same user is heard
        QCOMPARE(bodies, std::vector<std::string>{"{}"});
    }

    // A client that stops reading: meter lines are dropped once it is behind, the others are
    // kept until so much waits that the client counts as gone and is disconnected.
    void aStalledClientNeverMakesThePanelQueueWithoutBound() {
        UseRuntimeFolder(dir->Path());
        CSingleInstance instance;
        QVERIFY(instance.Acquire());
        QVERIFY(instance.Listen());
        std::shared_ptr<platform::instance::IPanelReply> held;
        bool closed = false;
        instance.SetRequestHandler(
            [&](const std::string&, const std::shared_ptr<platform::instance::IPanelReply>& r) {
                held = r;
                r->OnClosed([&closed] { closed = true; });
            });
        const int fd = platform::instance::ConnectToPanel();
        QVERIFY(fd >= 0);
        const char request[] = "CTL 2\n{}";
        QVERIFY(::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) > 0);
        QTRY_VERIFY(held != nullptr);

        const std::string level(100, 'l');
        size_t peak = 0;
        for (int i = 0; i < 100000; ++i) {  // 10 MB of meter lines, one parameter line in them
            held->SendDroppable(level);
            if (i == 50000)
                held->Send("param");
            if (i % 1000 == 0)
                QCoreApplication::processEvents();  // lets the socket hand bytes to the kernel
            peak = std::max(peak, instance.AnswerBacklog());
        }
        QVERIFY2(peak <= CSingleInstance::kSlowClientBytes + level.size() + 16,
                 qPrintable(QString::number(peak)));
        QVERIFY(!closed);

        // What got through ends with the parameter line: it was never dropped.
        std::string got;
        char buffer[65536];
        for (int quiet = 0; quiet < 20;) {
            QCoreApplication::processEvents();
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                got.append(buffer, size_t(n));
                quiet = 0;
            } else {
                ++quiet;
                QTest::qWait(5);
            }
        }
        QVERIFY(got.find("\nparam\n") != std::string::npos);
        QVERIFY(got.size() < 2 * 1000 * 1000);  // most meter lines were dropped

        // Lines that may not be dropped pile up only so far: then the client is gone.
        for (int i = 0; i < 100000 && !closed; ++i) {
            held->Send(level);
            if (i % 1000 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_VERIFY(closed);
        QCOMPARE(instance.AnswerBacklog(), size_t(0));
        ::close(fd);
    }

    void aFailedListenIsReported() {
        // Longer than a socket address can be.
        UseRuntimeFolder(dir->Path() / std::string(120, 'r'));
        CSingleInstance instance;
        QVERIFY(instance.Acquire());
        QVERIFY(!instance.Listen());
        QVERIFY(instance.ErrorString().contains(QStringLiteral("cannot listen")));
        QVERIFY(!CSingleInstance::SendToRunning(1125, 5, 0));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
