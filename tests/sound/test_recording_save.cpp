// Saving a copy of a recording: where the save dialog starts, the name it proposes, the ".mp3" a
// typed name gets, and the copy as the user's own file (mode from the umask, never a cut file).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "RecordingSave.h"
#include "TempDir.h"

namespace {

// Sets an environment variable for the length of a test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_had) {
            ::setenv(m_name, m_old.c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t Mode(const std::filesystem::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace

TEST(RecordingSave, StartsInTheUsersMusicFolder) {
    TempDir dir;
    const auto home = dir.Path() / "home";
    const auto config = dir.Path() / "config";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(config);
    ScopedEnv homeEnv("HOME", home.string());
    ScopedEnv configEnv("XDG_CONFIG_HOME", config.string());

    // Without a music folder of any kind: the home folder.
    EXPECT_EQ(sound::MusicFolder(), home);
    std::filesystem::create_directories(home / "Music");
    EXPECT_EQ(sound::MusicFolder(), home / "Music");

    // The user's own name for it, as the desktop's user-dirs.dirs writes it.
    std::filesystem::create_directories(home / "音乐");
    Write(config / "user-dirs.dirs",
          "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
          "XDG_MUSIC_DIR=\"$HOME/音乐\"\n");
    EXPECT_EQ(sound::MusicFolder(), home / "音乐");
    const auto elsewhere = dir.Path() / "songs";
    std::filesystem::create_directories(elsewhere);
    Write(config / "user-dirs.dirs", "XDG_MUSIC_DIR=\"" + elsewhere.string() + "\"\n");
    EXPECT_EQ(sound::MusicFolder(), elsewhere);
    // A folder named but not there, or a line that is not one, falls back.
    Write(config / "user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Gone\"\n");
    EXPECT_EQ(sound::MusicFolder(), home / "Music");
    Write(config / "user-dirs.dirs", "XDG_MUSIC_DIR=$HOME/音乐\n");
    EXPECT_EQ(sound::MusicFolder(), home / "Music");
}

TEST(RecordingSave, ProposesANameWithDateAndTimeAndAddsMp3) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 10;
    t.tm_hour = 5;
    t.tm_min = 7;
    t.tm_sec = 9;
    EXPECT_EQ(sound::ProposedRecordingName(t), u"录音_20261210_050709.mp3");

    EXPECT_EQ(sound::WithMp3Extension("/m/take"), "/m/take.mp3");
    EXPECT_EQ(sound::WithMp3Extension("/m/take.mp3"), "/m/take.mp3");
    EXPECT_EQ(sound::WithMp3Extension("/m/take.MP3"), "/m/take.MP3");
    EXPECT_EQ(sound::WithMp3Extension("/m/take.wav"), "/m/take.wav.mp3");
    EXPECT_EQ(sound::WithMp3Extension("/m/v1.2"), "/m/v1.2.mp3");
}

TEST(RecordingSave, TheCopyIsTheUsersOwnFile) {
    TempDir dir;
    const auto recording = dir.Path() / "tmp_record.mp3";
    Write(recording, std::string(200000, 'x') + "end");
    ::chmod(recording.c_str(), 0600);  // the private working copy

    const mode_t old = ::umask(022);
    std::error_code ec;
    const auto copy = dir.Path() / "take.mp3";
    ASSERT_TRUE(sound::SaveRecordingCopy(recording, copy, ec)) << ec.message();
    EXPECT_EQ(Read(copy), Read(recording));
    EXPECT_EQ(Mode(copy), 0644u);
    ::umask(027);
    const auto second = dir.Path() / "take2.mp3";
    ASSERT_TRUE(sound::SaveRecordingCopy(recording, second, ec)) << ec.message();
    EXPECT_EQ(Mode(second), 0640u);
    ::umask(old);

    // Over an older file: replaced whole.
    Write(copy, "older");
    ASSERT_TRUE(sound::SaveRecordingCopy(recording, copy, ec));
    EXPECT_EQ(Read(copy), Read(recording));

    // The recording onto itself, a folder that is not there, a missing recording: refused, and
    // nothing is left behind.
    EXPECT_FALSE(sound::SaveRecordingCopy(recording, recording, ec));
    EXPECT_EQ(Read(recording).size(), 200003u);
    EXPECT_FALSE(sound::SaveRecordingCopy(recording, dir.Path() / "no" / "x.mp3", ec));
    EXPECT_TRUE(ec);
    Write(copy, "kept");
    EXPECT_FALSE(sound::SaveRecordingCopy(dir.Path() / "missing.mp3", copy, ec));
    EXPECT_EQ(Read(copy), "kept");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 3u);  // the recording and two copies, no partial files
}
