// The sound-pad file, LyntMoodcfg.ini: every clip list and the last clip played.
#include "FuzzTarget.h"
#include "MoodFile.h"
#include "profile/Profile.h"

namespace mf = sound::mood_file;

VELORA_FUZZ_TARGET(mood_file) {
    const auto file = velora_fuzz::WriteInput("LyntMoodcfg.ini", data, size);
    platform::profile::ClearReadCache();
    for (const auto& list : {mf::kFavourites, mf::kLocalClips, mf::kDownloaded}) {
        (void)mf::ReadList(list, file);
    }
    sound::MoodItem last{};
    (void)mf::ReadLastPlayed(last, file);
}
