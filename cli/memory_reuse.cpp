#include "cli/memory_reuse.h"

#include <malloc.h>

#include <cstddef>

namespace morvel::cli {

namespace {

// Blocks up to this size come from the heap, where a freed one is reused, rather than from
// a mapping of their own that is unmapped when freed. The allocator's own ceiling.
constexpr int kMappedFrom = 32 << 20;
// Free memory at the heap's end kept rather than returned: room for a few documents' buffers.
constexpr int kKeptAtHeapEnd = 128 << 20;

}  // namespace

void keepFreedMemoryForReuse() {
    // Best effort: an allocator without these settings keeps its defaults.
    ::mallopt(M_MMAP_THRESHOLD, kMappedFrom);
    ::mallopt(M_TRIM_THRESHOLD, kKeptAtHeapEnd);
}

}  // namespace morvel::cli
