#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "QVAudioProtocol.h"
#include "TempDir.h"
#include "VirtualCardServer.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

// An in-process virtual card reached through the real transport, device manager and protocol,
// with a manual UI dispatcher the test pumps.
class CardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        options.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
        ConfigureCard(options);
        card = std::make_unique<vcard::CVirtualCardServer>(options);
        ASSERT_TRUE(card->Start());
        ASSERT_TRUE(builder.CreateManager(&protocol));
        if (openOnSetUp) {
            ASSERT_TRUE(builder.OpenDevicePath(card->DevicePath()));
        }
    }

    void TearDown() override {
        protocol.WaitDownload();
    }

    virtual void ConfigureCard(vcard::ServerOptions&) {}

    CDeviceManager& Manager() { return *builder.GetManager(); }

    template <typename Fn>
    auto ReadCard(Fn fn) {
        decltype(fn(std::declval<const vcard::CCardModel&>())) result{};
        card->Inspect([&](const vcard::CCardModel& m) { result = fn(m); });
        return result;
    }

    TempDir dir;
    vcard::ServerOptions options;
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scopedDispatcher{&dispatcher};
    std::unique_ptr<vcard::CVirtualCardServer> card;
    // Declared after the card: the builder (and its receive thread) goes first.
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    bool openOnSetUp = true;
};
