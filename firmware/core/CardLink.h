#pragma once

#include <memory>

#include "CardCommands.h"

class CCardConnection;
class CHidDeviceBuilder;
class CQVAudioProtocol;
class CWorkSpace;

namespace firmware {

// What the upgrade needs of the card: awaited exchanges, and finding its loader once it was
// told to enter it. Exchange and OpenLoader run on the manager's worker thread.
class ICardLink {
public:
    virtual ~ICardLink() = default;
    virtual bool IsOpen() = 0;
    // Sends the request (signed, not enciphered) and waits for its good reply.
    virtual bool Exchange(const card::Frame& request, card::Frame& reply, card::Timing timing) = 0;
    // One look for the loader (product 0x0002): opens the first found and hands it to the
    // workspace as the connected device. True when it is open.
    virtual bool OpenLoader() = 0;
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
    bool OpenLoader() override { return false; }
    bool LoaderPresent() override { return false; }
    bool LoaderOpen() override { return false; }
    void Release() override {}
};

// The program's own card: the device builder's manager, opened on the UI thread (the builder
// and the workspace belong to it), used for exchanges from the worker.
class CHidCardLink : public ICardLink {
public:
    // connection may be null (no keep-alive to stop).
    CHidCardLink(CHidDeviceBuilder& builder, CQVAudioProtocol& protocol, CWorkSpace& workspace,
                 CCardConnection* connection);
    ~CHidCardLink() override;

    bool IsOpen() override;
    bool Exchange(const card::Frame& request, card::Frame& reply, card::Timing timing) override;
    bool OpenLoader() override;
    bool LoaderPresent() override;
    bool LoaderOpen() override;
    void Release() override;

    // Runs on the UI thread.
    bool OpenLoaderHere();

private:
    CHidDeviceBuilder& m_builder;
    CQVAudioProtocol& m_protocol;
    CWorkSpace& m_workspace;
    CCardConnection* m_connection;
    // Work handed to the UI thread checks this is still alive before it touches the link.
    std::shared_ptr<CHidCardLink*> m_alive;
};

}  // namespace firmware
