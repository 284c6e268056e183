// The HTTP helper against the cloud stand-in on a real socket.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <json/json.h>
#include <minizip/unzip.h>

#include "CloudSim.h"
#include "EffectFile.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "TempDir.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Logged(const vlog::CLogCapture& log, const std::string& part) {
    for (const std::string& m : log.Messages()) {
        if (m.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class CurlHelperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CLibCurlHelper::GlobalInit();
        s_sim = new cloudsim::CCloudSim(cloudsim::SimOptions{});
        ASSERT_TRUE(s_sim->Start(0));
    }
    static void TearDownTestSuite() {
        delete s_sim;
        s_sim = nullptr;
    }
    std::string Url(const std::string& path) const { return s_sim->BaseUrl() + path; }

    static cloudsim::CCloudSim* s_sim;
    TempDir m_dir;
    vlog::CLogCapture m_log;
};
cloudsim::CCloudSim* CurlHelperTest::s_sim = nullptr;

TEST_F(CurlHelperTest, PostFillsTheBufferUpToItsCapacityAndNeverBeyond) {
    std::vector<char> buffer(101, '#');  // the last byte guards against a write past capacity
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/bytes/100"), nullptr, buffer.data(), 100), 100);
    EXPECT_EQ(std::string(buffer.data(), 100), std::string(100, 'x'));
    EXPECT_EQ(buffer[100], '#');

    std::fill(buffer.begin(), buffer.end(), '#');
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/bytes/101"), nullptr, buffer.data(), 100), -1);
    EXPECT_EQ(buffer[100], '#');
    EXPECT_TRUE(Logged(m_log, "easy_perform return CURLcode:23"));  // write error

    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/bytes/0"), "a=1", buffer.data(), 100), 0);
}

TEST_F(CurlHelperTest, PostFailsOnErrorStatusBrokenConnectionAndNoServer) {
    char buffer[4096] = {};
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/status/404"), nullptr, buffer, sizeof buffer),
              -1);
    EXPECT_TRUE(Logged(m_log, "/test/status/404 return code:404."));
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/status/302"), nullptr, buffer, sizeof buffer),
              -1);
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/cut"), nullptr, buffer, sizeof buffer), -1);
    EXPECT_TRUE(Logged(m_log, "/test/cut easy_perform return CURLcode:18"));  // partial body

    cloudsim::CCloudSim gone(cloudsim::SimOptions{});
    ASSERT_TRUE(gone.Start(0));
    const std::string url = gone.BaseUrl() + "/test/bytes/1";
    gone.Stop();
    EXPECT_EQ(CLibCurlHelper::HttpPost(url, nullptr, buffer, sizeof buffer), -1);
}

TEST_F(CurlHelperTest, GetFileWritesTheWholeBody) {
    const auto file = m_dir.Path() / "clip.mp3";
    EXPECT_EQ(CLibCurlHelper::HttpGetFile(Url("/files/sound/101.mp3"), file), 1);
    const std::vector<uint8_t> expected = cloudsim::MakeClipMp3(101);
    ASSERT_GT(expected.size(), 1000u);
    EXPECT_EQ(ReadAll(file), std::string(expected.begin(), expected.end()));
}

TEST_F(CurlHelperTest, GetFileFailuresKeepWhatArrivedAndReportZero) {
    const auto file = m_dir.Path() / "page.html";
    EXPECT_EQ(CLibCurlHelper::HttpGetFile(Url("/test/status/404"), file), 0);
    EXPECT_NE(ReadAll(file).find("error 404"), std::string::npos);
    EXPECT_TRUE(Logged(m_log, "return code:404."));

    EXPECT_EQ(CLibCurlHelper::HttpGetFile(Url("/test/cut"), m_dir.Path() / "cut"), 0);
    EXPECT_TRUE(Logged(m_log, "easy_perform return:18"));  // partial file

    // Healthy but slower than the 3 s a download may take.
    EXPECT_EQ(CLibCurlHelper::HttpGetFile(Url("/test/slow/4000"), m_dir.Path() / "slow"), 0);
    EXPECT_TRUE(Logged(m_log, "easy_perform return:28"));  // time-out
}

// A worker's stop request ends a transfer that would otherwise have succeeded, as a failure.
TEST_F(CurlHelperTest, AStopRequestEndsTheTransfer) {
    std::atomic<bool> stop{false};
    const CLibCurlHelper::StopCheck check = [&stop] { return stop.load(); };
    std::thread requester([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    // 2000 bytes over 2 s: well inside the 3 s a download may take.
    EXPECT_EQ(CLibCurlHelper::HttpGetFile(Url("/test/slow/2000"), m_dir.Path() / "f", check), 0);
    requester.join();
    EXPECT_TRUE(Logged(m_log, "easy_perform return:42"));

    char buffer[64] = {};
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/slow/2000"), nullptr, buffer, sizeof buffer,
                                       [] { return true; }),
              -1);
    EXPECT_TRUE(Logged(m_log, "easy_perform return CURLcode:42"));
    // A check that never asks for the stop changes nothing.
    EXPECT_EQ(CLibCurlHelper::HttpPost(Url("/test/bytes/10"), nullptr, buffer, sizeof buffer,
                                       [] { return false; }),
              10);
}

TEST_F(CurlHelperTest, GetFileIntoAMissingFolderFailsWithoutTraffic) {
    const size_t before = s_sim->Requests("/");
    EXPECT_EQ(CLibCurlHelper::HttpGetFile(Url("/test/bytes/10"), m_dir.Path() / "no" / "f"), 0);
    EXPECT_EQ(s_sim->Requests("/"), before);
}

TEST_F(CurlHelperTest, GetMemoryTakesTheWholeBodyUpToItsLimitAndNothingOnFailure) {
    std::vector<uint8_t> body;
    EXPECT_EQ(CLibCurlHelper::HttpGetMemory(Url("/test/bytes/1000"), body, 1000), 1);
    EXPECT_EQ(body, std::vector<uint8_t>(1000, 'x'));

    // One byte over the limit, an error page and a cut body all leave nothing behind.
    EXPECT_EQ(CLibCurlHelper::HttpGetMemory(Url("/test/bytes/1001"), body, 1000), 0);
    EXPECT_TRUE(body.empty());
    EXPECT_TRUE(Logged(m_log, "/test/bytes/1001 easy_perform return:23"));
    EXPECT_EQ(CLibCurlHelper::HttpGetMemory(Url("/test/status/404"), body, 1000), 0);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(CLibCurlHelper::HttpGetMemory(Url("/test/cut"), body, 1 << 20), 0);
    EXPECT_TRUE(body.empty());
}

// The other cloud clients (effects, firmware) read what the stand-in serves.
TEST_F(CurlHelperTest, StandInServesReadableEffectFilesAndFirmwarePackage) {
    char answer[1024] = {};
    const int n = CLibCurlHelper::HttpPost(Url("/api/effect_sound/checkAppUpgrade.json"),
                                           "appVer=1&appType=26", answer, sizeof answer - 1);
    ASSERT_GT(n, 0);
    Json::Value root;
    std::istringstream text(std::string(answer, static_cast<size_t>(n)));
    std::string errors;
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), text, &root, &errors));
    EXPECT_EQ(root["data"]["currentVer"].asInt(), 2004000);
    const std::string packageUrl = root["data"]["url"].asString();

    const auto eff = m_dir.Path() / "3.eff";
    ASSERT_EQ(CLibCurlHelper::HttpGetFile(Url("/files/effect/3.eff"), eff), 1);
    model::EffectFileContents contents;
    EXPECT_TRUE(model::ReadEffectFile(eff, contents));
    EXPECT_EQ(contents.params.size(), 3u);

    const auto zip = m_dir.Path() / "package.zip";
    ASSERT_EQ(CLibCurlHelper::HttpGetFile(packageUrl, zip), 1);
    unzFile z = unzOpen(zip.c_str());
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(unzLocateFile(z, "STEPS.XML", 2), UNZ_OK);  // 2: any letter case
    EXPECT_EQ(unzLocateFile(z, "fw_2.4.bin", 2), UNZ_OK);
    unzClose(z);
}

TEST(CloudBaseUrl, EnvironmentReplacesTheBuiltAddress) {
    ::unsetenv("VELORA_CLOUD_URL");
    const std::string built = CloudBaseUrl();
    EXPECT_EQ(built.rfind("http://", 0), 0u);
    EXPECT_NE(built.find(":10991/tuning"), std::string::npos);
    ::setenv("VELORA_CLOUD_URL", "http://127.0.0.1:4000/tuning/", 1);
    EXPECT_EQ(CloudBaseUrl(), "http://127.0.0.1:4000/tuning");
    ::unsetenv("VELORA_CLOUD_URL");

    EXPECT_EQ(UrlOrigin("HTTP://Host:1/a/b"), "http://host:1");
    EXPECT_EQ(UrlOrigin("http://good@evil/x"), "");
    EXPECT_EQ(UrlOrigin("file:///etc/passwd"), "");
    EXPECT_EQ(UrlOrigin("x.mp3"), "");
}

}  // namespace
