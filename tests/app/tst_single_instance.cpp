// The single-instance socket: it listens before the program is ready, keeps what arrives until
// then, and says why it cannot listen.
#include <QtTest>

#include <sys/stat.h>

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
