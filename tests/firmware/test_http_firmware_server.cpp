// The firmware server over HTTP against the cloud stand-in on a real socket.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CloudSim.h"
#include "FirmwareTexts.h"
#include "FirmwareUpgradeManager.h"
#include "HttpFirmwareServer.h"

using namespace firmware;

namespace {

class HttpFirmwareServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_sim.Start(0)); }
    cloudsim::CCloudSim m_sim{cloudsim::SimOptions{}};
};

TEST_F(HttpFirmwareServerTest, AnswersTooLongAndAddressesNotHttpAreRefused) {
    CHttpFirmwareServer server(m_sim.BaseUrl());
    std::string answer = "stale";
    m_sim.SetFault("upgrade", cloudsim::Fault::kOverflow);
    EXPECT_FALSE(server.CheckUpgrade(answer));
    EXPECT_TRUE(answer.empty());

    // The service may keep its files on another host or port: such a package is fetched, with
    // the scheme in any case. Credentials that hide the host and other schemes are not.
    cloudsim::CCloudSim elsewhere{cloudsim::SimOptions{}};
    ASSERT_TRUE(elsewhere.Start(0));
    const std::string path = "/tuning/files/firmware/package.zip";
    const std::string port = std::to_string(m_sim.Port());
    const std::string other = std::to_string(elsewhere.Port());
    std::vector<uint8_t> package{1, 2, 3};
    EXPECT_TRUE(server.DownloadPackage("HTTP://127.0.0.1:" + other + path, package));
    EXPECT_GT(package.size(), 100u);
    EXPECT_EQ(elsewhere.Requests("/"), 1u);
    for (const std::string& url :
         {"http://127.0.0.1:" + port + "@127.0.0.1:" + other + path,
          "ftp://127.0.0.1:" + other + path, "http://127.0.0.1:" + other + "/a b",
          std::string("file:///etc/passwd"), std::string()}) {
        EXPECT_FALSE(server.DownloadPackage(url, package)) << url;
        EXPECT_TRUE(package.empty());
    }
    EXPECT_EQ(elsewhere.Requests("/"), 1u);

    const std::string own = m_sim.BaseUrl() + "/files/firmware/package.zip";
    m_sim.SetFault("firmware-file", cloudsim::Fault::kCut);
    EXPECT_FALSE(server.DownloadPackage(own, package));
    EXPECT_TRUE(package.empty());
}

// What the check answer may carry; every row a verdict, never an exception.
TEST(FirmwareCheckAnswer, HostileAnswersGetTheUsersText) {
    struct Row {
        const char* name;
        std::string answer;
        const char* error;  // null: accepted
    };
    const std::string url = R"("url":"http://h/p.zip")";
    const Row rows[] = {
        {"plain", R"({"message":"OK","data":{"currentVer":2004000,)" + url + "}}", nullptr},
        {"integral double", R"({"message":"ok","data":{"currentVer":2004000.0,)" + url + "}}",
         nullptr},
        {"huge", R"({"message":"ok","data":{"currentVer":1e19,)" + url + "}}", kErrServerInfo},
        {"beyond int64",
         R"({"message":"ok","data":{"currentVer":18446744073709551615,)" + url + "}}",
         kErrServerInfo},
        {"negative", R"({"message":"ok","data":{"currentVer":-2004000,)" + url + "}}",
         kErrServerInfo},
        {"fraction", R"({"message":"ok","data":{"currentVer":2.5,)" + url + "}}", kErrServerInfo},
        {"string version", R"({"message":"ok","data":{"currentVer":"2004000",)" + url + "}}",
         kErrServerInfo},
        {"data array", R"({"message":"ok","data":[1,2]})", kErrServerInfo},
        {"data string", R"({"message":"ok","data":"x"})", kErrServerInfo},
        {"message number", R"({"message":7,"data":{"currentVer":1,)" + url + "}}", kErrServerInfo},
        {"url number", R"({"message":"ok","data":{"currentVer":1,"url":5}})", kErrServerInfo},
        {"url empty", R"({"message":"ok","data":{"currentVer":1,"url":""}})", kErrServerInfo},
        {"nested", std::string(1010, '['), kErrJson},
        {"nested in data", R"({"message":"ok","data":)" + std::string(1010, '[') + "}", kErrJson},
        {"top array", "[1]", kErrJson},
        {"garbage", "\xff\x00garbage", kErrJson},
        {"cut", R"({"message":"ok","data":{"currentVer":2004)", kErrJson},
        {"empty", "", kErrJson},
    };
    for (const Row& row : rows) {
        std::string version;
        std::string address;
        std::string error;
        const bool ok = ParseCheckAnswer(row.answer, version, address, error);
        EXPECT_EQ(ok, row.error == nullptr) << row.name;
        if (row.error) {
            EXPECT_EQ(error, row.error) << row.name;
        } else {
            EXPECT_EQ(version, "2.4") << row.name;
            EXPECT_EQ(address, "http://h/p.zip") << row.name;
        }
    }
}

// Closing the dialog (the manager's end) while the check or the download waits for a silent
// server stops the transfer instead of waiting out its time-out (7 s for the check).
TEST_F(HttpFirmwareServerTest, EndingTheManagerStopsATransferUnderWay) {
    using Clock = std::chrono::steady_clock;
    for (const char* phase : {"upgrade", "firmware-file"}) {
        m_sim.SetFault(phase, cloudsim::Fault::kSlow);
        CHttpFirmwareServer server(m_sim.BaseUrl());
        CNoCardLink card;
        auto manager = std::make_unique<CFirmwareUpgradeManager>(card, &server, 0, nullptr);
        if (std::string(phase) == "upgrade") {
            ASSERT_TRUE(manager->StartCheckServer());
        } else {
            m_sim.SetFault("upgrade", cloudsim::Fault::kNone);
            ASSERT_TRUE(manager->CheckServer());
            ASSERT_TRUE(manager->StartDownload());
        }
        for (int i = 0; i < 200 && m_sim.Requests("/") == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto start = Clock::now();
        manager.reset();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // Far below the time-outs; the figure itself is reported, not asserted.
        EXPECT_LT(seconds, 2.0) << phase;
        std::printf("[ figure ] manager end during %s: %.3f s\n", phase, seconds);
    }
}

}  // namespace
