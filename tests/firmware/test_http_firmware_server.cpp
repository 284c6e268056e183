// The firmware server over HTTP against the cloud stand-in on a real socket.
#include <gtest/gtest.h>

#include "CloudSim.h"
#include "HttpFirmwareServer.h"

using namespace firmware;

namespace {

class HttpFirmwareServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_sim.Start(0)); }
    cloudsim::CCloudSim m_sim{cloudsim::SimOptions{}};
};

TEST_F(HttpFirmwareServerTest, AnswersTooLongOrPackagesElsewhereAreRefused) {
    CHttpFirmwareServer server(m_sim.BaseUrl());
    std::string answer = "stale";
    m_sim.SetFault("upgrade", cloudsim::Fault::kOverflow);
    EXPECT_FALSE(server.CheckUpgrade(answer));
    EXPECT_TRUE(answer.empty());

    // A working server on another port of the same host, the same behind credentials, and
    // addresses that are not http at all: none is fetched.
    cloudsim::CCloudSim elsewhere{cloudsim::SimOptions{}};
    ASSERT_TRUE(elsewhere.Start(0));
    const std::string path = "/tuning/files/firmware/package.zip";
    const std::string port = std::to_string(m_sim.Port());
    const std::string other = std::to_string(elsewhere.Port());
    std::vector<uint8_t> package{1, 2, 3};
    for (const std::string& url : {"http://127.0.0.1:" + other + path,
                                   "http://127.0.0.1:" + port + "@127.0.0.1:" + other + path,
                                   std::string("file:///etc/passwd"), std::string()}) {
        EXPECT_FALSE(server.DownloadPackage(url, package)) << url;
        EXPECT_TRUE(package.empty());
    }
    EXPECT_EQ(elsewhere.Requests("/"), 0u);

    const std::string own = m_sim.BaseUrl() + "/files/firmware/package.zip";
    m_sim.SetFault("firmware-file", cloudsim::Fault::kCut);
    EXPECT_FALSE(server.DownloadPackage(own, package));
    EXPECT_TRUE(package.empty());
}

}  // namespace
