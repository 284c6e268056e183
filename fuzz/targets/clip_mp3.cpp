// MP3 input of the clip decoder (libmad) that prepares clips for the card's slots.
#include <atomic>
#include <cstdlib>
#include <vector>

#include "ClipEvents.h"
#include "FuzzTarget.h"
#include "LibmadDecoder.h"
#include "ccm_util/Dispatcher.h"
#include "ccm_util/EventBus.h"

VELORA_FUZZ_TARGET(clip_mp3) {
    // The decoder reports its end as an event; the fuzzer's thread pumps for it.
    static ccm_util::CManualDispatcher dispatcher;
    static ccm_util::CScopedDispatcher installed(&dispatcher);
    static std::atomic<uint64_t> finished{0};
    static auto subscription = ccm_util::CEventSubscription::Of<EventDecoderFinsh>(
        [](const EventDecoderFinsh& e) { finished = e.decoder; });

    const std::vector<uint8_t> bytes(data, data + size);
    sound::clip::CLibmadDecoder decoder;
    decoder.SetResourceReader([&bytes](const std::u16string&, std::vector<uint8_t>& out) {
        out = bytes;
        return true;
    });
    if (!decoder.Start(u"fuzz.mp3", 0.8f, true, 10)) {
        return;
    }
    // A decoder that does not finish a small input within seconds hangs.
    if (!dispatcher.PumpUntil([&decoder] { return finished.load() == decoder.Id(); }, 20000)) {
        std::abort();
    }
    decoder.Stop();
}
