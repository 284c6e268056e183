// The cloud service's answer to the firmware check.
#include <string>

#include "FirmwareServer.h"
#include "FuzzTarget.h"

VELORA_FUZZ_TARGET(firmware_check) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::string version, url, error;
    (void)firmware::ParseCheckAnswer(answer, version, url, error);
}
