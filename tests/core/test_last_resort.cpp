// The last resort at thread entries: an exception a library lets out of a worker's body is logged
// and fails that work; the program, and whoever waits for the worker, go on.
#include <gtest/gtest.h>
#include <json/json.h>

#include <stdexcept>

#include "Log/Log.h"
#include "ccm_util/LastResort.h"
#include "ccm_util/ThreadObject.h"

namespace {

bool Logged(const vlog::CLogCapture& log, const std::string& part) {
    for (const std::string& m : log.Messages()) {
        if (m.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class CThrowingWorker : public ccm_util::CThreadObject {
public:
    ~CThrowingWorker() override { Join(); }

protected:
    int Run() override {
        // What jsoncpp does with a number out of range, as a check answer once did.
        return Json::Value(1e19).asInt();
    }
};

TEST(LastResort, AWorkerBodyThatThrowsEndsAsAFailureNotTheProgram) {
    vlog::CLogCapture log;
    CThrowingWorker worker;
    ASSERT_TRUE(worker.StartThread());
    worker.StopAndJoin(5000);  // returns: the end was told although the body threw
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(Logged(log, "stopped by an exception")) << "not logged";
    EXPECT_TRUE(worker.StartThread());  // and it can run again
    worker.StopAndJoin(5000);
}

TEST(LastResort, GuardedCallsReturnTheBodysResultOrFalse) {
    vlog::CLogCapture log;
    EXPECT_TRUE(ccm_util::CallGuarded("test", [] { return true; }));
    EXPECT_FALSE(ccm_util::CallGuarded("test", [] { return false; }));
    EXPECT_FALSE(ccm_util::CallGuarded("test", []() -> bool { throw std::runtime_error("boom"); }));
    EXPECT_TRUE(Logged(log, "boom"));
    EXPECT_FALSE(ccm_util::RunGuarded("test", [] { throw 42; }));
    EXPECT_TRUE(Logged(log, "unknown type"));
    int ran = 0;
    EXPECT_TRUE(ccm_util::RunGuarded("test", [&ran] { ++ran; }));
    EXPECT_EQ(ran, 1);
}

}  // namespace
