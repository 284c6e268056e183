// The cloud effects against the cloud stand-in: the list, the downloads with their files, marks
// and records, hostile answers, and what a finished download does in the tree.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "CloudEffectAnswer.h"
#include "CloudEffectFiles.h"
#include "CloudEffectLibrary.h"
#include "CloudSim.h"
#include "EffectStore.h"
#include "TempDir.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "profile/ProfileText.h"

using namespace effects;
using model::RecordText;

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CloudEffectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_data = m_root.Path() / "data";
        ASSERT_TRUE(std::filesystem::create_directory(m_data));
        m_settings = m_data / "LyntConfigData.db";
        m_workspace = std::make_unique<CWorkSpace>(m_settings, m_data);
    }

    void Start(cloudsim::SimOptions options = {}) {
        m_sim = std::make_unique<cloudsim::CCloudSim>(std::move(options));
        ASSERT_TRUE(m_sim->Start(0));
        m_cloud = std::make_unique<CCloudEffectLibrary>(m_data, m_workspace.get(), m_sim->BaseUrl());
        m_cloud->SetListListener([this](bool ok) { m_listResult = ok; });
        m_cloud->SetFileListener([this](const CloudFileEnd& e) { m_ends.push_back(e); });
    }

    bool Fetch() {
        m_listResult.reset();
        EXPECT_TRUE(m_cloud->StartFetch());
        EXPECT_TRUE(m_pump.PumpUntil([this] { return m_listResult.has_value(); }, 30000));
        return m_listResult.value_or(false);
    }

    bool WaitEnds(size_t n) {
        return m_pump.PumpUntil([&] { return m_ends.size() >= n; }, 15000);
    }

    const model::CloudEffectEntry& Entry(size_t i) { return m_cloud->Entries().at(i); }

    TempDir m_root;
    std::filesystem::path m_data;
    std::filesystem::path m_settings;
    ccm_util::CManualDispatcher m_pump;
    ccm_util::CScopedDispatcher m_scope{&m_pump};
    std::unique_ptr<CWorkSpace> m_workspace;
    std::unique_ptr<cloudsim::CCloudSim> m_sim;
    std::unique_ptr<CCloudEffectLibrary> m_cloud;
    std::optional<bool> m_listResult;
    std::vector<CloudFileEnd> m_ends;
};

TEST_F(CloudEffectsTest, TheListKeepsOrderAndDoublesAmpersandsInNameAndCategory) {
    cloudsim::SimOptions options;
    options.content.effects.push_back({"A&B", "R&&B 1", 5, ""});
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    ASSERT_EQ(m_cloud->Entries().size(), 5u);
    EXPECT_EQ(RecordText(Entry(0).category), u"男声");
    EXPECT_EQ(RecordText(Entry(0).name), u"低沉");
    EXPECT_EQ(RecordText(Entry(3).category), u"特效 && 变声");
    EXPECT_EQ(RecordText(Entry(4).category), u"A&&B");
    EXPECT_EQ(RecordText(Entry(4).name), u"R&&&&B 1");
    EXPECT_EQ(platform::profile::ToUtf8(RecordText(Entry(2).location)),
              m_sim->BaseUrl() + "/files/effect/3.eff");
    EXPECT_EQ(Entry(2).downloaded, 0);
    EXPECT_EQ(m_sim->Requests("/api/effect_sound/getSoundByCategory.json"), 1u);
}

TEST_F(CloudEffectsTest, ListFailuresGiveTheirTextsAndMissingDataIsAnEmptySuccess) {
    Start();
    const std::pair<cloudsim::Fault, std::u16string> cases[] = {
        {cloudsim::Fault::kNotFound, u"从服务器获取云音效列表失败"},
        {cloudsim::Fault::kOverflow, u"从服务器获取云音效列表失败"},
        {cloudsim::Fault::kCut, u"从服务器获取云音效列表失败"},
        {cloudsim::Fault::kBadJson, u"解析json数据失败"},
        {cloudsim::Fault::kNotOk, u"服务器维护中"},
    };
    ASSERT_TRUE(Fetch());
    for (const auto& [fault, text] : cases) {
        m_sim->SetFault("effects", fault);
        EXPECT_FALSE(Fetch());
        EXPECT_EQ(m_cloud->LastListError(), text);
        EXPECT_EQ(m_cloud->Entries().size(), 4u) << "a failed fetch keeps the last list";
    }
    m_sim->SetFault("effects", cloudsim::Fault::kNoData);
    EXPECT_TRUE(Fetch());
    EXPECT_TRUE(m_cloud->Entries().empty());
    EXPECT_TRUE(m_cloud->LastListError().empty());
}

TEST_F(CloudEffectsTest, OnlyOneListWorkerRunsAndStoppingItReportsNothing) {
    cloudsim::SimOptions options;
    options.slowMs = 400;
    options.faults["effects"] = cloudsim::Fault::kSlow;
    Start(std::move(options));
    ASSERT_TRUE(m_cloud->StartFetch());
    EXPECT_FALSE(m_cloud->StartFetch());
    m_cloud->StopFetch();  // the page goes while it fetches
    EXPECT_FALSE(m_cloud->IsFetching());
    m_pump.PumpUntil([] { return false; }, 600);
    EXPECT_FALSE(m_listResult.has_value());
    EXPECT_TRUE(Fetch());
    EXPECT_EQ(m_cloud->Entries().size(), 4u);
}

TEST_F(CloudEffectsTest, ADownloadKeepsTheFileItsMarkAndItsRecord) {
    Start();
    ASSERT_TRUE(Fetch());
    const model::CloudEffectEntry entry = Entry(3);  // "特效 && 变声" / 机器人 / 4.eff
    EXPECT_EQ(m_cloud->DownloadMark(entry), 0);
    ASSERT_EQ(m_cloud->StartDownload(entry), CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitEnds(1));
    ASSERT_TRUE(m_ends[0].success);
    const std::filesystem::path file = m_data / "CloudEff" / "特效 && 变声" / "4.eff";
    EXPECT_EQ(m_ends[0].destination, file);
    EXPECT_EQ(ReadAll(file), cloudsim::MakeEffectFile(4));
    EXPECT_EQ(FilesIn(file.parent_path()), std::vector<std::string>{"4.eff"});
    EXPECT_EQ(m_cloud->DownloadMark(entry), 1);
    EXPECT_TRUE(IsEffectDownloaded(m_data, 1, RecordText(entry.category),
                                   RecordText(entry.location)));
    EXPECT_EQ(m_cloud->DownloadsRunning(), 0u);

    // The record as the next start reads it back.
    const auto records = model::CEffectStore(m_settings).ReadDownloadedEffects();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(RecordText(records[0].name), u"机器人");
    EXPECT_EQ(RecordText(records[0].category), u"特效 && 变声");
    EXPECT_EQ(model::PathFromText(RecordText(records[0].location)), file);
    EXPECT_EQ(records[0].downloaded, 1);
    EXPECT_EQ(records[0].reserved, 0);
    EXPECT_EQ(m_workspace->DownloadedEffects().size(), 1u);
}

TEST_F(CloudEffectsTest, AFailedDownloadWithAnErrorPageLeavesNoFileAndMarksZero) {
    Start();
    ASSERT_TRUE(Fetch());
    // A good copy first: a failed download afterwards must not leave it looking downloaded.
    ASSERT_EQ(m_cloud->StartDownload(Entry(0)), CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitEnds(1));
    for (cloudsim::Fault fault : {cloudsim::Fault::kNotFound, cloudsim::Fault::kCut}) {
        m_sim->SetFault("effect-file", fault);
        m_ends.clear();
        ASSERT_EQ(m_cloud->StartDownload(Entry(0)), CloudDownloadStart::kStarted);
        ASSERT_TRUE(WaitEnds(1));
        EXPECT_FALSE(m_ends[0].success);
        EXPECT_EQ(m_ends[0].error, u"下载云音效数据失败");
        EXPECT_TRUE(FilesIn(m_data / "CloudEff" / "男声").empty());
        EXPECT_EQ(ReadDownloadMark(m_data, u"1.eff"), 0);
        EXPECT_FALSE(IsEffectDownloaded(m_data, 1, u"男声", RecordText(Entry(0).location)));
    }
    EXPECT_EQ(model::CEffectStore(m_settings).ReadDownloadedEffects().size(), 0u)
        << "the record of the first download names a file that is gone";
}

TEST_F(CloudEffectsTest, TwoCategoriesShareOneKeyButNeverOneFileAndOneFileDownloadsOnce) {
    cloudsim::SimOptions options;
    options.content.effects = {{"甲", "一", 7, ""}, {"乙", "一", 7, ""}, {"甲", "一", 7, ""}};
    options.slowFileMs = 600;
    options.faults["effect-file"] = cloudsim::Fault::kSlowFile;
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    EXPECT_EQ(m_cloud->StartDownload(Entry(0)), CloudDownloadStart::kStarted);
    EXPECT_EQ(m_cloud->StartDownload(Entry(1)), CloudDownloadStart::kStarted);
    // The duplicate of the first has the same destination: it waits for that download.
    EXPECT_EQ(m_cloud->StartDownload(Entry(2)), CloudDownloadStart::kRunning);
    ASSERT_TRUE(WaitEnds(2));
    EXPECT_TRUE(m_ends[0].success && m_ends[1].success);
    EXPECT_EQ(m_sim->Requests("/files/effect/"), 2u);
    const auto expected = cloudsim::MakeEffectFile(7);
    EXPECT_EQ(ReadAll(m_data / "CloudEff" / "甲" / "7.eff"), expected);
    EXPECT_EQ(ReadAll(m_data / "CloudEff" / "乙" / "7.eff"), expected);
    EXPECT_EQ(FilesIn(m_data / "CloudEff" / "甲"), std::vector<std::string>{"7.eff"});
    EXPECT_EQ(ReadDownloadMark(m_data, u"7.eff"), 1);

    // One key: a failure in one category marks the other's file as not downloaded too.
    m_sim->SetFault("effect-file", cloudsim::Fault::kNotFound);
    m_ends.clear();
    ASSERT_EQ(m_cloud->StartDownload(Entry(1)), CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitEnds(1));
    EXPECT_EQ(m_cloud->DownloadMark(Entry(0)), 0);
    EXPECT_TRUE(std::filesystem::exists(m_data / "CloudEff" / "甲" / "7.eff"));
}

TEST_F(CloudEffectsTest, HostileNamesAndAddressesStayInsideCloudEffOrAreLeftOut) {
    cloudsim::SimOptions options;
    options.content.effects = {
        {"../..", "up", 1, ""},
        {"ok", "file", 1, "file:///etc/passwd"},
        {"ok", "ftp", 1, "ftp://127.0.0.1/1.eff"},
        {"ok", "no host", 1, "http:///1.eff"},
        {"ok", "dots", 1, "http://127.0.0.1/a/.."},
        {"ok", "other host", 2, ""},
    };
    // Another server under another host name: any host is allowed over http(s).
    cloudsim::CCloudSim other(cloudsim::SimOptions{});
    ASSERT_TRUE(other.Start(0));
    options.content.effects[5].url =
        "http://localhost:" + std::to_string(other.Port()) + "/tuning/files/effect/2.eff";
    m_sim = std::make_unique<cloudsim::CCloudSim>(std::move(options));
    ASSERT_TRUE(m_sim->Start(0));
    m_cloud = std::make_unique<CCloudEffectLibrary>(m_data, m_workspace.get(), m_sim->BaseUrl());
    m_cloud->SetListListener([this](bool ok) { m_listResult = ok; });
    m_cloud->SetFileListener([this](const CloudFileEnd& e) { m_ends.push_back(e); });
    ASSERT_TRUE(Fetch());
    ASSERT_EQ(m_cloud->Entries().size(), 3u);  // file:, ftp: and the host-less URL are left out
    EXPECT_EQ(RecordText(Entry(1).name), u"dots");
    EXPECT_EQ(m_cloud->LocalPath(Entry(1)), m_data / "CloudEff" / "ok" / "_");
    ASSERT_EQ(m_cloud->StartDownload(Entry(2)), CloudDownloadStart::kStarted);
    ASSERT_TRUE(WaitEnds(1));
    EXPECT_TRUE(m_ends[0].success);
    EXPECT_EQ(ReadAll(m_data / "CloudEff" / "ok" / "2.eff"), cloudsim::MakeEffectFile(2));

    const std::filesystem::path up = m_cloud->LocalPath(Entry(0));
    ASSERT_FALSE(up.empty());
    EXPECT_EQ(up.parent_path().parent_path(), m_data / "CloudEff");
    EXPECT_EQ(up.filename(), "1.eff");
}

TEST(CloudEffectAnswer, WrongShapesAreSkippedAndLongTextsCutWithoutSplittingAPair) {
    std::vector<model::CloudEffectEntry> out;
    std::u16string message;
    const std::string longName(70, 'x');
    const std::string answer =
        R"({"message":"OK","data":[1,"x",{"categoryName":3,"soundName":"a","url":"http://h/1"},)"
        R"({"categoryName":"c","soundName":"a"},)"
        R"({"categoryName":"c","soundName":")" +
        std::string(62, 'n') + R"(&","url":"http://h/2"},)" +
        R"({"categoryName":"c\u0001d","soundName":")" + longName +
        R"(","url":"https://h/)" + std::string(260, 'u') + R"("},)" +
        R"({"categoryName":"c\u0001d","soundName":")" + longName + R"(","url":"HTTPS://h/3"}]})";
    ASSERT_EQ(ReadEffectListAnswer(answer, out, message), EffectListResult::kOk);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(RecordText(out[0].name), std::u16string(62, u'n')) << "no half of a doubled &";
    EXPECT_EQ(RecordText(out[1].category), u"cd");
    EXPECT_EQ(RecordText(out[1].name).size(), 63u);

    EXPECT_EQ(ReadEffectListAnswer(R"({"message":"维护","data":[]})", out, message),
              EffectListResult::kNotOk);
    EXPECT_EQ(message, u"维护");
    EXPECT_EQ(ReadEffectListAnswer("[1,2]", out, message), EffectListResult::kBadJson);
    EXPECT_EQ(ReadEffectListAnswer(std::string(100, '['), out, message),
              EffectListResult::kBadJson);
}

TEST(CloudEffectFiles, FileNamesComeFromTheLastPartOfTheAddress) {
    EXPECT_EQ(CloudEffectFileName(u"http://h/a/b/x.eff"), u"x.eff");
    EXPECT_EQ(CloudEffectFileName(u"http://h/a/x.eff?v=2#top"), u"x.eff");
    EXPECT_EQ(CloudEffectFileName(u"c:\\files\\y.eff"), u"y.eff");
    EXPECT_EQ(CloudEffectFileName(u"http://h/a/"), u"");
    EXPECT_EQ(CloudEffectFileName(u"http://h/.."), u"_");
    EXPECT_EQ(CloudEffectLocalPath("/d", u"..", u"http://h/x.eff"),
              std::filesystem::path("/d/CloudEff/_/x.eff"));
    EXPECT_EQ(CloudEffectLocalPath("/d", u"a/../../b", u"http://h/x.eff"),
              std::filesystem::path("/d/CloudEff/a_____b/x.eff"));
    EXPECT_TRUE(CloudEffectLocalPath("", u"c", u"http://h/x.eff").empty());
}

TEST(CloudClickState, APendingSlotIsUsedOnceAndOnlyForTheEffectItWasAskedFor) {
    int a = 0;
    int b = 0;
    using A = CCloudClickState::Action;
    CCloudClickState s;
    s.SlotRequested(&a, 1);
    EXPECT_EQ(s.Finished(false, true).action, A::kNone) << "another effect's download";
    CCloudClickState::Decision d = s.Finished(true, true);
    EXPECT_EQ(d.action, A::kStoreSlot);
    EXPECT_EQ(d.slot, 1);
    EXPECT_EQ(s.Finished(true, true).action, A::kUse) << "consumed once";
    EXPECT_EQ(s.PendingSlot(), -1);

    s.SlotRequested(&a, 2);
    s.Clicked(&b);  // the user double-clicked another effect meanwhile
    EXPECT_EQ(s.Finished(true, true).action, A::kUse);

    s.SlotRequested(&a, 2);
    EXPECT_EQ(s.Finished(true, false).action, A::kTipFailed);
    EXPECT_EQ(s.PendingSlot(), -1) << "a failed download ends the request";

    s.SlotRequested(&a, 1);
    s.Forget();
    EXPECT_EQ(s.LastClicked(), nullptr);
    EXPECT_EQ(s.Finished(false, true).action, A::kNone);
}

TEST_F(CloudEffectsTest, QuittingDuringADownloadLeavesNoPartialFile) {
    cloudsim::SimOptions options;
    options.slowFileMs = 3000;
    options.faults["effect-file"] = cloudsim::Fault::kSlowFile;
    Start(std::move(options));
    ASSERT_TRUE(Fetch());
    ASSERT_EQ(m_cloud->StartDownload(Entry(0)), CloudDownloadStart::kStarted);
    m_pump.PumpUntil([] { return false; }, 300);
    m_cloud.reset();
    EXPECT_TRUE(FilesIn(m_data / "CloudEff" / "男声").empty());
    EXPECT_EQ(ReadDownloadMark(m_data, u"1.eff"), 0);
}

}  // namespace
