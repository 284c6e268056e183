// The cloud service's answer to a category's clip list.
#include <string>
#include <vector>

#include "CloudSoundPayload.h"
#include "FuzzTarget.h"

VELORA_FUZZ_TARGET(cloud_clips) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::vector<sound::MoodItem> out;
    std::u16string message;
    (void)sound::ReadClipAnswer(answer, out, message);
}
