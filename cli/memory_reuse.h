#pragma once

namespace morvel::cli {

// Has the allocator keep the memory a recovered document freed for the next one, instead of
// handing it back to the kernel: a batch allocates buffers of much the same sizes document
// after document, and every page handed back is faulted in (and zeroed) again for the next.
// The memory kept is what the largest document needed; it goes when the process ends.
void keepFreedMemoryForReuse();

}  // namespace morvel::cli
