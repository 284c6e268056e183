// The cloud service's answer to the sound category list.
#include <string>
#include <vector>

#include "CloudSoundPayload.h"
#include "FuzzTarget.h"

VELORA_FUZZ_TARGET(cloud_categories) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::vector<sound::CloudCategoryRecord> out;
    std::u16string message;
    (void)sound::ReadCategoryAnswer(answer, out, message);
}
