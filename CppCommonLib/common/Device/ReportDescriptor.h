#pragma once

#include <cstddef>
#include <cstdint>

// What a HID report descriptor says about report sizes. Lengths count the report-id byte as
// Windows does, whether or not the device numbers its reports.
struct ReportLengths {
    int input = 0;
    int output = 0;
    bool numbered = false;  // reports carry a report id
};

// False when the descriptor is malformed.
bool ParseReportDescriptor(const uint8_t* data, size_t size, ReportLengths* out);
