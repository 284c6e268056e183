// The recording panel on the sound server, against a private PulseAudio whose null sink plays the
// card ("Orin LYNT!") and whose remapped monitor is the card's input. A tone plays on the card the
// whole time; record is pressed twice, and the file, decoded by mpg123 (not by our engine), must
// last as long as the time between the presses.
#include <QApplication>
#include <QTest>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "../core/TempDir.h"
#include "InstallQtAudioEngine.h"
#include "PulseFixture.h"
#include "ccm_util/Dispatcher.h"
#include "sound/ui/EventHandlerRecord.h"
#include "toolkit/QtDispatcher.h"

namespace {

bool Exists(const char* path) {
    return std::filesystem::exists(path);
}

std::string Run(const std::string& command) {
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(p);
    }
    return out;
}

// Seconds of audio in an MP3 file as mpg123 decodes it (gapless: the encoder's padding left out).
double DecodedSeconds(const std::filesystem::path& file) {
    const std::string bytes =
        Run("/usr/bin/mpg123 -q -s -e s16 -r 44100 --stereo '" + file.string() + "' | wc -c");
    return std::atof(bytes.c_str()) / (44100.0 * 4);
}

}  // namespace

class TestRecordPulse : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    PulseFixture m_pulse;
    std::unique_ptr<toolkit::CQtDispatcher> m_dispatcher;
    std::unique_ptr<ccm_util::CScopedDispatcher> m_scope;
    pid_t m_tone = -1;

    // Presses record, waits `seconds`, presses again; the decoded length of the file.
    double Record(CEventHandlerRecord& panel, double seconds) {
        panel.OnRecordButton();
        if (panel.CurrentState() != CEventHandlerRecord::State::kRecording) {
            return -1;
        }
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<int>(seconds * 1000));
        while (std::chrono::steady_clock::now() < until) {
            QTest::qWait(10);
        }
        panel.OnRecordButton();
        QElapsedTimer clock;
        clock.start();
        while (panel.CurrentState() != CEventHandlerRecord::State::kIdle &&
               clock.elapsed() < 10000) {
            QTest::qWait(10);
        }
        if (panel.CurrentState() != CEventHandlerRecord::State::kIdle) {
            return -1;
        }
        return DecodedSeconds(m_dir->Path() / CEventHandlerRecord::kFileName);
    }

private slots:
    void initTestCase() {
        if (!PulseFixture::Installed() || !Exists("/usr/bin/mpg123") || !Exists("/usr/bin/sox") ||
            !Exists("/usr/bin/paplay")) {
            QSKIP("needs pulseaudio, paplay, sox and mpg123");
        }
        m_dir = std::make_unique<TempDir>();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir->Path().string()));
        // VELORA_TEST_SOUND_SERVER: a server of the caller's own (PipeWire's pulse server, say)
        // with the same sink "lynt" and source "Orin LYNT! Input", already named by PULSE_SERVER.
        if (!qEnvironmentVariableIsSet("VELORA_TEST_SOUND_SERVER")) {
            m_pulse.SetCardPace(true);
            QVERIFY2(m_pulse.Start(), m_pulse.Error().c_str());
        }
        m_dispatcher = std::make_unique<toolkit::CQtDispatcher>();
        m_scope = std::make_unique<ccm_util::CScopedDispatcher>(m_dispatcher.get());
        platform::audio::InstallQtAudioEngine();
        // What the card sends the whole time: a tone played on it, at the player's own pace.
        const auto tone = m_dir->Path() / "tone.wav";
        QVERIFY(Run("/usr/bin/sox -n -r 44100 -c 2 '" + tone.string() +
                    "' synth 30 sine 440 vol 0.5 && echo ok")
                    .find("ok") != std::string::npos);
        const std::string file = tone.string();
        const char* argv[] = {"/usr/bin/paplay", "-d", "lynt", file.c_str(), nullptr};
        QCOMPARE(
            ::posix_spawn(&m_tone, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ),
            0);
        // Recording starts once the tone is on the card, not after a guessed pause.
        QTRY_VERIFY_WITH_TIMEOUT(!m_pulse.Pactl("list short sink-inputs").empty(), 5000);
    }
    void cleanupTestCase() {
        if (m_tone > 0) {
            ::kill(m_tone, SIGTERM);
            ::waitpid(m_tone, nullptr, 0);
        }
        m_pulse.Stop();
        m_scope.reset();
    }

    // The file holds the time from the first press to the second within 0.1 s, and the panel
    // shows that file's length.
    void recordingLastsFromPressToPress_data() {
        QTest::addColumn<double>("seconds");
        QTest::newRow("1 s") << 1.0;
        QTest::newRow("2.5 s") << 2.5;
        QTest::newRow("0.5 s") << 0.5;
    }
    void recordingLastsFromPressToPress() {
        QFETCH(double, seconds);
        CEventHandlerRecord panel(m_dir->Path() / CEventHandlerRecord::kFileName,
                                  [] { return true; });
        const double got = Record(panel, seconds);
        qInfo("pressed %.2f s, recorded %.3f s", seconds, got);
        QVERIFY2(std::abs(got - seconds) <= 0.1,
                 qPrintable(QStringLiteral("pressed %1 s, file %2 s").arg(seconds).arg(got)));
        QVERIFY(panel.Holder().Recorder() == nullptr);
    }
};

QTEST_MAIN(TestRecordPulse)
#include "tst_record_pulse.moc"
