// The cloud sound library against the cloud stand-in: list fetch, downloads, hostile answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "CloudSim.h"
#include "CloudSoundLibrary.h"
#include "CloudSoundNames.h"
#include "MoodConfig.h"
#include "TempDir.h"
#include "ccm_util/Dispatcher.h"

using namespace sound;

namespace {

class CloudSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_data = m_root.Path() / "data";
        ASSERT_TRUE(std::filesystem::create_directory(m_data));
        ASSERT_TRUE(m_store.Init(m_data / CMoodConfig::kFileName));
    }

    // Starts the stand-in and a library on it; the listeners record what the page would see.
    void Start(cloudsim::SimOptions options = {}) {
        m_sim = std::make_unique<cloudsim::CCloudSim>(std::move(options));
        ASSERT_TRUE(m_sim->Start(0));
        m_cloud = std::make_unique<CCloudSoundLibrary>(m_store, m_data, m_sim->BaseUrl());
        m_cloud->SetListListener([this](bool ok) { m_listResult = ok; });
        m_cloud->SetFileListener([this](const CloudFileOutcome& o) { m_outcomes.push_back(o); });
    }

    bool Fetch() {
        m_listResult.reset();
        EXPECT_TRUE(m_cloud->StartFetch());
        EXPECT_TRUE(m_pump.PumpUntil([this] { return m_listResult.has_value(); }, 30000));
        return m_listResult.value_or(false);
    }

    bool WaitOutcomes(size_t n) {
        return m_pump.PumpUntil([&] { return m_outcomes.size() >= n; }, 10000);
    }

    TempDir m_root;
    std::filesystem::path m_data;
    CMoodConfig m_store;
    ccm_util::CManualDispatcher m_pump;
    ccm_util::CScopedDispatcher m_scope{&m_pump};
    std::unique_ptr<cloudsim::CCloudSim> m_sim;
    std::unique_ptr<CCloudSoundLibrary> m_cloud;
    std::optional<bool> m_listResult;
    std::vector<CloudFileOutcome> m_outcomes;
};

TEST_F(CloudSoundTest, NineCategoriesAreStoredAndSevenGetTabsAFailingOneStaysEmpty) {
    cloudsim::SimOptions options;
    options.faults["clips:3"] = cloudsim::Fault::kNotFound;
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    ASSERT_EQ(m_store.CategoryCount(), 9u);
    EXPECT_EQ(m_cloud->TabCount(), 7u);
    EXPECT_EQ(m_store.CategoryName(0), u"搞笑");
    for (size_t k = 0; k < 9; ++k) {
        EXPECT_EQ(m_store.CategoryItems(k).size(), k == 2 ? 0u : 3u) << k;
    }
    const MoodItem clip = *m_store.CloudItem(8, 2);
    EXPECT_EQ(clip.kind, kMoodCloud);
    EXPECT_EQ(clip.cloudId, 903);
    EXPECT_EQ(clip.downloadState, kCloudIdle);
    EXPECT_EQ(ClipName(clip), u"综艺3");
    EXPECT_FALSE(m_cloud->IsFetching());
}

TEST_F(CloudSoundTest, ListFailuresGiveTheirTexts) {
    Start();
    const std::pair<cloudsim::Fault, std::u16string> cases[] = {
        {cloudsim::Fault::kNotFound, u"从服务器获取特效分类失败"},
        {cloudsim::Fault::kOverflow, u"从服务器获取特效分类失败"},
        {cloudsim::Fault::kCut, u"从服务器获取特效分类失败"},
        {cloudsim::Fault::kBadJson, u"解析json数据失败"},
        {cloudsim::Fault::kNotOk, u"服务器维护中"},
    };
    for (const auto& [fault, text] : cases) {
        m_sim->SetFault("categories", fault);
        EXPECT_FALSE(Fetch());
        EXPECT_EQ(m_cloud->LastListError(), text);
    }
}

TEST_F(CloudSoundTest, TwoClicksDownloadOnceAndTheNextClickPlaysWithoutTraffic) {
    cloudsim::SimOptions options;
    options.slowFileMs = 500;  // keeps the first download running while the second click comes
    options.faults["sound-file"] = cloudsim::Fault::kSlowFile;
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    const int32_t pad = CCloudSoundLibrary::PadId(1, 0);  // clip 201
    EXPECT_EQ(m_cloud->StartDownload(pad, kCloudPlay), CloudDownloadStart::kStarted);
    EXPECT_EQ(m_cloud->StartDownload(pad, kCloudPlay), CloudDownloadStart::kIgnored);
    ASSERT_TRUE(WaitOutcomes(1));
    EXPECT_EQ(m_sim->Requests("/files/"), 1u);

    const CloudFileOutcome& done = m_outcomes.front();
    ASSERT_TRUE(done.ready);
    EXPECT_EQ(done.padId, pad);
    EXPECT_EQ(ClipFilePath(done.item), CloudSoundFolder(m_data) / "201.mp3");
    EXPECT_EQ(std::filesystem::file_size(ClipFilePath(done.item)),
              cloudsim::MakeClipMp3(201).size());
    EXPECT_EQ(m_store.CloudItem(1, 0)->downloadState, kCloudDownloaded);
    ASSERT_TRUE(m_store.FindDownloaded(201));

    EXPECT_EQ(m_cloud->StartDownload(pad, kCloudPlay), CloudDownloadStart::kDownloaded);
    ASSERT_TRUE(m_cloud->LocalCopy(pad));
    EXPECT_EQ(m_sim->Requests("/files/"), 1u);
    EXPECT_EQ(m_cloud->DownloadsRunning(), 0u);
}

TEST_F(CloudSoundTest, FavouriteModeAddsOnceAndAFailedDownloadLeavesNoFile) {
    Start();
    ASSERT_TRUE(Fetch());
    ASSERT_EQ(m_cloud->StartDownload(CCloudSoundLibrary::PadId(0, 1), kCloudFavourite),
              CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitOutcomes(1));
    EXPECT_TRUE(m_outcomes[0].favouriteAdded);
    EXPECT_TRUE(m_store.IsFavourite(m_outcomes[0].item));

    m_sim->SetFault("sound-file", cloudsim::Fault::kNotFound);
    ASSERT_EQ(m_cloud->StartDownload(CCloudSoundLibrary::PadId(0, 2), kCloudPlay),
              CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitOutcomes(2));
    EXPECT_FALSE(m_outcomes[1].ready);
    EXPECT_EQ(m_outcomes[1].error, u"下载文件失败");
    EXPECT_FALSE(std::filesystem::exists(CloudSoundFolder(m_data) / "103.mp3"));
    EXPECT_EQ(m_store.CloudItem(0, 2)->downloadState, kCloudIdle);  // may be tried again
}

TEST_F(CloudSoundTest, HostileNamesAndUrlsNeverLeaveTheDataFolder) {
    cloudsim::SimOptions options;
    options.content.categories = {{7, "../../x", {}}};
    auto& clips = options.content.categories[0].clips;
    clips.push_back({1, "a/../../b", ""});  // the stand-in's own URL
    clips.push_back({2, "evil", "http://127.0.0.2:1/tuning/files/sound/2.mp3"});
    clips.push_back({3, "bare", "3.mp3"});
    clips.push_back({4, std::string(200, 'n'), ""});
    // Accepted (the stand-in's own host), so its last part ".." reaches the destination check.
    clips.push_back({5, "dots", "/files/sound/.."});
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    ASSERT_EQ(m_store.CategoryCount(), 1u);
    const auto items = m_store.CategoryItems(0);
    const auto dots =
        std::find_if(items.begin(), items.end(), [](const MoodItem& m) { return m.cloudId == 5; });
    ASSERT_NE(dots, items.end());
    const std::filesystem::path to = m_cloud->Destination(*dots);
    ASSERT_FALSE(to.empty());
    EXPECT_EQ(to.parent_path(), CloudSoundFolder(m_data));
    EXPECT_NE(to.filename(), "..");
    EXPECT_TRUE(std::none_of(items.begin(), items.end(),
                             [](const MoodItem& m) { return m.cloudId == 3; }));  // bare name
    const auto longName =
        std::find_if(items.begin(), items.end(), [](const MoodItem& m) { return m.cloudId == 4; });
    ASSERT_NE(longName, items.end());
    EXPECT_EQ(ClipName(*longName).size(), 31u);

    for (size_t i = 0; i < items.size(); ++i) {
        m_cloud->StartDownload(CCloudSoundLibrary::PadId(0, i), kCloudPlay);
    }
    ASSERT_TRUE(WaitOutcomes(items.size()));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root.Path())) {
        EXPECT_TRUE(entry.path() == m_data || IsInsideFolder(m_data, entry.path())) << entry.path();
    }
}

// The service may keep its clips on another host or port: they are listed and fetched from
// there (they used to be dropped without a word); another scheme is never fetched.
TEST_F(CloudSoundTest, ClipsOnAnotherHostAreFetchedFromThere) {
    cloudsim::CCloudSim files{cloudsim::SimOptions{}};
    ASSERT_TRUE(files.Start(0));
    cloudsim::SimOptions options;
    options.content.categories = {{7, "elsewhere", {}}};
    auto& clips = options.content.categories[0].clips;
    const std::string port = std::to_string(files.Port());
    clips.push_back(
        {101, "other port", "HTTP://127.0.0.1:" + port + "/tuning/files/sound/101.mp3"});
    clips.push_back({102, "ftp", "ftp://127.0.0.1:" + port + "/tuning/files/sound/102.mp3"});
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    const auto items = m_store.CategoryItems(0);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(m_cloud->StartDownload(CCloudSoundLibrary::PadId(0, 0), kCloudPlay),
              CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitOutcomes(1));
    ASSERT_TRUE(m_outcomes[0].ready)
        << std::string(m_outcomes[0].error.begin(), m_outcomes[0].error.end());
    EXPECT_EQ(std::filesystem::file_size(ClipFilePath(m_outcomes[0].item)),
              cloudsim::MakeClipMp3(101).size());
    EXPECT_EQ(files.Requests("/files/"), 1u);
    EXPECT_EQ(m_sim->Requests("/files/"), 0u);
}

// Clips whose URLs end alike, and one clip listed in two categories: every clip keeps a file of
// its own, one download per file runs at a time, and a failing download leaves the file a
// finished one wrote.
TEST_F(CloudSoundTest, DownloadsToOneNameNeverSpoilEachOther) {
    cloudsim::SimOptions options;
    options.content.categories = {
        {1, "甲", {{11, "一", "/files/sound/11/same.mp3"}}},
        {2,
         "乙",
         {{12, "二", "/files/sound/12/same.mp3"}, {11, "一", "/files/sound/11/same.mp3"}}}};
    options.slowFileMs = 400;
    options.faults["sound-file"] = cloudsim::Fault::kSlowFile;
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    const int32_t one = CCloudSoundLibrary::PadId(0, 0);
    const int32_t two = CCloudSoundLibrary::PadId(1, 0);
    const int32_t oneAgain = CCloudSoundLibrary::PadId(1, 1);
    EXPECT_EQ(m_cloud->StartDownload(one, kCloudPlay), CloudDownloadStart::kStarted);
    EXPECT_EQ(m_cloud->StartDownload(two, kCloudPlay), CloudDownloadStart::kStarted);
    // Clip 11 from the other category: its file is on its way already.
    EXPECT_EQ(m_cloud->StartDownload(oneAgain, kCloudPlay), CloudDownloadStart::kIgnored);
    ASSERT_TRUE(WaitOutcomes(2));
    ASSERT_TRUE(m_outcomes[0].ready && m_outcomes[1].ready);
    const auto fileOf = [this](int32_t id) { return ClipFilePath(*m_store.FindDownloaded(id)); };
    EXPECT_NE(fileOf(11), fileOf(12));
    EXPECT_EQ(std::filesystem::file_size(fileOf(11)), cloudsim::MakeClipMp3(11).size());
    EXPECT_EQ(std::filesystem::file_size(fileOf(12)), cloudsim::MakeClipMp3(12).size());

    // Clip 11 again from the other category, and the server fails it: the finished file stays.
    m_sim->SetFault("sound-file", cloudsim::Fault::kNotFound);
    EXPECT_EQ(m_cloud->StartDownload(oneAgain, kCloudPlay), CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitOutcomes(3));
    EXPECT_FALSE(m_outcomes[2].ready);
    ASSERT_TRUE(std::filesystem::exists(fileOf(11)));
    EXPECT_EQ(std::filesystem::file_size(fileOf(11)), cloudsim::MakeClipMp3(11).size());
    // Nothing half-made is left beside them.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(CloudSoundFolder(m_data))) {
        EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
        ++files;
    }
    EXPECT_EQ(files, 2u);
}

TEST(CloudSoundNames, NetworkNamesBecomeOneHarmlessComponent) {
    EXPECT_EQ(SafeFileName(u"a/../../b", 64), u"a_____b");
    EXPECT_EQ(SafeFileName(u"..\\..\\x", 64), u"____x");
    EXPECT_EQ(SafeFileName(u"..", 64), u"_");
    EXPECT_EQ(SafeFileName(u". . .", 64), u"");
    EXPECT_EQ(SafeFileName(std::u16string(u"a\0b\nc", 5), 64), u"a_b_c");
    EXPECT_EQ(SafeFileName(u"ab\U0001F600", 3), u"ab");  // a pair is never split

    EXPECT_EQ(CloudFileName(u"noslash", 42), u"42.mp3");
    EXPECT_EQ(CloudFileName(u"http://h/p/", 42), u"42.mp3");
    EXPECT_EQ(CloudFileName(u"http://h/p/clip.mp3?v=2", 42), u"clip.mp3");
    EXPECT_EQ(CloudFileName(u"http://h/p/..", 42), u"_");

    EXPECT_EQ(CutUtf8("中文名", 7), "中文");  // 3 bytes a character
    EXPECT_EQ(DoubleAmpersands(u"A&B&&"), u"A&&B&&&&");
}

TEST(CloudSoundNames, InsideFolderResolvesDotsAndLinks) {
    TempDir dir;
    const auto folder = dir.Path() / "CloudSound";
    std::filesystem::create_directory(folder);
    EXPECT_TRUE(IsInsideFolder(folder, folder / "a.mp3"));
    EXPECT_TRUE(IsInsideFolder(folder / "", folder / "a.mp3"));
    EXPECT_FALSE(IsInsideFolder(folder, folder));
    EXPECT_FALSE(IsInsideFolder(folder, folder / ".." / "a.mp3"));
    EXPECT_FALSE(IsInsideFolder(folder, dir.Path() / "CloudSoundX" / "a.mp3"));
    std::filesystem::create_directory_symlink(dir.Path(), folder / "out");
    EXPECT_FALSE(IsInsideFolder(folder, folder / "out" / "a.mp3"));
}

TEST(CloudSoundPads, PadIdsMapToCategoryAndIndex) {
    size_t category = 0;
    size_t index = 0;
    ASSERT_TRUE(CCloudSoundLibrary::PadEntry(CCloudSoundLibrary::PadId(6, 999), category, index));
    EXPECT_EQ(category, 6u);
    EXPECT_EQ(index, 999u);
    EXPECT_FALSE(CCloudSoundLibrary::PadEntry(15000, category, index));  // a built-in pad
}

}  // namespace
