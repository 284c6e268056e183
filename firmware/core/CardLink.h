#pragma once

#include <chrono>
#include <future>
#include <memory>

#include "CardCommands.h"

class CCardConnection;
class CHidDeviceBuilder;
class CQVAudioProtocol;
class CWorkSpace;

namespace card {
class ICardWorker;
}

namespace firmware {

// What the upgrade needs of the card: awaited exchanges, and finding its loader once it was
// told to enter it. Exchange and OpenLoader run on the manager's worker thread.
class ICardLink {
public:
    virtual ~ICardLink() = default;
    virtual bool IsOpen() = 0;
    // Sends the request (signed, not enciphered) and waits for its good reply.
    virtual bool Exchange(const card::Frame& request, card::Frame& reply, card::Timing timing) = 0;
    // Opens the first loader found (product 0x0002) and hands it to the workspace as the
    // connected device; waits at most `wait` for the open. True when it is open. An open still
    // under way when the wait ends is not asked for twice: the next call waits for it again.
    virtual bool OpenLoader(std::chrono::milliseconds wait) = 0;
    // Whether a loader is plugged in now (a card left in its loader by an upgrade that failed).
    virtual bool LoaderPresent() = 0;
    // The device open now is the card's loader (after an upgrade that failed in this session).
    virtual bool LoaderOpen() = 0;
    // After a finished upgrade the program lets go of the card until it is plugged in again.
    virtual void Release() = 0;
};

// No card at hand: a check of the server or a package against versions known otherwise (the
// running panel's card, told by the panel). Nothing reaches a card through it.
class CNoCardLink : public ICardLink {
public:
    bool IsOpen() override { return false; }
    bool Exchange(const card::Frame&, card::Frame&, card::Timing) override { return false; }
    bool OpenLoader(std::chrono::milliseconds) override { return false; }
    bool LoaderPresent() override { return false; }
    bool LoaderOpen() override { return false; }
    void Release() override {}
};

// The program's own card: the device builder's manager, used for exchanges from the manager's
// worker. The loader is opened where the builder's other opens run (the card worker), never on
// the UI thread, whose answer may come late on a busy machine; the workspace hears of it on the
// UI thread.
class CHidCardLink : public ICardLink {
public:
    // connection may be null (no keep-alive to stop); worker may be null: the loader is then
    // opened on the calling thread (lyntctl, which has no other opener).
    CHidCardLink(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol, CWorkSpace& workspace,
                 CCardConnection* connection, card::ICardWorker* worker = nullptr);
    ~CHidCardLink() override;

    bool IsOpen() override;
    bool Exchange(const card::Frame& request, card::Frame& reply, card::Timing timing) override;
    bool OpenLoader(std::chrono::milliseconds wait) override;
    bool LoaderPresent() override;
    bool LoaderOpen() override;
    void Release() override;

    // Opens the loader and tells the workspace, all on the calling thread (lyntctl at its start).
    bool OpenLoaderHere();

private:
    void TellWorkspace();

    CHidDeviceBuilder& m_builder;
    CQVAudioProtocol& m_protocol;
    CWorkSpace& m_workspace;
    CCardConnection* m_connection;
    card::ICardWorker* m_worker;
    std::future<bool> m_pendingOpen;  // the open asked of the worker and not yet taken
    // Work handed to the UI thread checks this is still alive before it touches the link.
    std::shared_ptr<CHidCardLink*> m_alive;
};

}  // namespace firmware
