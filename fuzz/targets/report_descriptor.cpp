// HID report descriptors: a real card's (HIDIOCGRDESC) or the first message of a virtual card.
#include <cstdlib>

#include "FuzzTarget.h"
#include "common/Device/ReportDescriptor.h"

VELORA_FUZZ_TARGET(report_descriptor) {
    ReportLengths lengths;
    if (ParseReportDescriptor(data, size, &lengths)) {
        // Lengths size the transport's buffers: negative ones would be a parser fault.
        if (lengths.input < 0 || lengths.output < 0) {
            std::abort();
        }
    }
}
