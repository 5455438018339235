#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morvel {

// Large buffers (file images, extracted texts) are first touched page by page, and on virtual
// machines each 4 KiB page fault is expensive. These helpers ask the kernel for transparent huge
// pages before a big buffer is first written, which cuts the faults by a factor of 512.
// Below kLargeBuffer they do nothing special.
inline constexpr size_t kLargeBuffer = 4u << 20;

// Hints that the untouched memory [p, p + n) should be backed by huge pages. Best effort.
void adviseHugePages(void* p, size_t n);

// Resizes an empty or small vector to n bytes (zero-filled), with the hint above.
void resizeLarge(std::vector<uint8_t>& v, size_t n);

// Gives an empty or small vector room for n bytes without touching them, with the hint above:
// for a buffer that is filled by appending, so its pages are first written with their data.
void reserveLarge(std::vector<uint8_t>& v, size_t n);

}  // namespace morvel
