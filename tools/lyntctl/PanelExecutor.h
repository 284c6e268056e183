#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CardWorker.h"
#include "PadOutcome.h"
#include "PanelRequest.h"

class CQVAudioProtocol;
class CWorkSpace;
namespace sound {
class CMoodConfig;
}

namespace ctl {

struct Request;

// What the panel's connection knows of the card, asked on the UI thread.
struct PanelCard {
    // The node of the card the panel has (a failure after it went is an unplug), or empty.
    std::function<std::string()> path;
    // While the panel waits for another program to let go of the card: that program, or empty.
    std::function<std::string()> holder;
};

// Carries out lyntctl's card commands in the running panel, on its UI thread, with the same
// command code as lyntctl's direct mode: the panel's workspace and card stand in for a session of
// lyntctl's own. The card's exchanges go through the panel's card worker; the answer's status
// goes out once the worker has done every exchange the command asked for.
class CPanelExecutor {
public:
    // loadingEffect: the panel's flag for a download under way.
    CPanelExecutor(CWorkSpace& workspace, CQVAudioProtocol& protocol, card::ICardWorker& worker,
                   std::atomic<int>& loadingEffect)
        : m_workspace(workspace),
          m_protocol(protocol),
          m_worker(worker),
          m_loading(loadingEffect) {}

    ~CPanelExecutor() { EndAll(); }

    void Run(const std::string& body,
             const std::shared_ptr<platform::instance::IPanelReply>& reply);
    // Before the program lets go of the card: commands that end themselves (a clip or effect on
    // its way) end now, their clients told so (status 3), their threads waited for.
    void EndAll();
    void SetCard(PanelCard card) { m_card = std::move(card); }
    // The panel's sound-pad store: `cloud sound` adds its clip there (see PanelCloudSound.h).
    void SetSoundStore(sound::CMoodConfig* store, std::filesystem::path dataFolder,
                       std::string baseUrl) {
        m_sounds = store;
        m_dataFolder = std::move(dataFolder);
        m_baseUrl = std::move(baseUrl);
    }

    // The panel's own sound-pad player for `pad`: plays favourite `which` (kSoundPadStop: stops
    // it) at once, on the UI thread, and says what became of it.
    using PadPlayer = std::function<sound::PadOutcome(uint64_t which)>;
    void SetPadPlayer(PadPlayer player) { m_padPlayer = std::move(player); }

private:
    // `pad`: answered as soon as the player runs, or with why it does not.
    void RunPad(const Request& request,
                const std::shared_ptr<platform::instance::IPanelReply>& reply);

    CWorkSpace& m_workspace;
    CQVAudioProtocol& m_protocol;
    card::ICardWorker& m_worker;
    std::atomic<int>& m_loading;
    PanelCard m_card;
    // One per command still going on its own: called with true it ends the command; with false
    // it only tells whether the command still runs.
    std::vector<std::function<bool(bool end)>> m_running;
    PadPlayer m_padPlayer;
    sound::CMoodConfig* m_sounds = nullptr;
    std::filesystem::path m_dataFolder;
    std::string m_baseUrl;
};

}  // namespace ctl
