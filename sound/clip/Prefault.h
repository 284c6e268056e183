#pragma once

#include <cstddef>

namespace sound::clip {

// Asks the kernel to map the whole pages inside [begin, begin + bytes) writable now, in one call.
// A clip's buffers are megabytes of fresh memory written front to back; touching each page
// first costs a fault per page, which on virtual machines costs more than the decoding of it.
// Best effort: an older kernel or a sanitizer's allocator that refuses changes nothing.
void PrefaultForWriting(void* begin, size_t bytes);

}  // namespace sound::clip
