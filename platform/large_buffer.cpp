#include "platform/large_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

namespace morvel {

void adviseHugePages(void* p, size_t n) {
#ifdef MADV_HUGEPAGE
    if (n < kLargeBuffer || p == nullptr)
        return;
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

void reserveLarge(std::vector<uint8_t>& v, size_t n) {
    if (v.capacity() >= n)
        return;
    if (n < kLargeBuffer) {
        v.reserve(n);
        return;
    }
    std::vector<uint8_t> fresh;
    fresh.reserve(n);
    adviseHugePages(fresh.data(), n);
    fresh.assign(v.begin(), v.end());
    v.swap(fresh);
}

void resizeLarge(std::vector<uint8_t>& v, size_t n) {
    if (n >= kLargeBuffer)
        reserveLarge(v, n);
    v.resize(n);
}

}  // namespace morvel
