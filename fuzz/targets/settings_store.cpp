// The settings file as the workspace loads it at start: effects, presets, downloads list.
#include "FuzzTarget.h"
#include "WorkSpace.h"
#include "profile/Profile.h"

VELORA_FUZZ_TARGET(settings_store) {
    const auto file = velora_fuzz::WriteInput("LyntConfigData.db", data, size);
    platform::profile::ClearReadCache();
    CWorkSpace workspace(file, velora_fuzz::TempFolder());
    (void)workspace.GroupPresets(1);
    (void)workspace.CustomEffects();
}
