#include "Prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace sound::clip {

void PrefaultForWriting(void* begin, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    static const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (!begin || page == 0) {
        return;
    }
    // Only the pages wholly inside the buffer: the allocator owns the partial ones at the ends.
    const uintptr_t start = reinterpret_cast<uintptr_t>(begin);
    const uintptr_t first = (start + page - 1) & ~(page - 1);
    const uintptr_t end = (start + bytes) & ~(page - 1);
    if (end > first) {
        (void)::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
    }
#else
    (void)begin;
    (void)bytes;
#endif
}

}  // namespace sound::clip
