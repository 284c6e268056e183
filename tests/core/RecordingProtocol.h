#pragma once

#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/Device/ICommDeviceMgmt.h"
#include "common/Device/Protocol.h"

// A protocol that records what nobody awaited, for tests of the device link below the card's
// own protocol.
class RecordingProtocol : public CProtocol {
public:
    using Frame = std::array<uint8_t, 64>;

    RecordingProtocol() : CProtocol(64, nullptr) {}
    void OnRecvData(const uint8_t* frame) override {
        std::lock_guard<std::mutex> guard(mutex);
        Frame f;
        std::memcpy(f.data(), frame, 64);
        unsolicited.push_back(f);
    }
    void SetDeviceMgmt(ICommDeviceMgmt* m) override { manager = m; }
    void ResetDeviceMgmt() override { manager = nullptr; }
    bool NegotiateKey() override { return false; }
    size_t Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return unsolicited.size();
    }
    std::vector<Frame> Unsolicited() {
        std::lock_guard<std::mutex> guard(mutex);
        return unsolicited;
    }

    std::mutex mutex;
    std::vector<Frame> unsolicited;
    ICommDeviceMgmt* manager = nullptr;
};
