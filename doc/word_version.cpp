#include "doc/word_version.h"

#include "platform/le_reader.h"

namespace morvel {

int versionFromNFib(uint16_t nFib, uint16_t chs, uint8_t productHigh) {
    if (nFib == 0 || nFib == 45)
        return 0;
    if (nFib == 33)
        return 1;
    if (nFib <= 100)
        return -1;
    if (nFib == 101 || nFib == 102)
        return 6;
    if (nFib == 103 || nFib == 104) {
        if (chs == 0)
            return 7;
        if (chs == 0x0100)
            return 6;
        return productHigh == 0xE0 ? 7 : 6;
    }
    if (nFib < 192)
        return -1;
    return kWordVersion97;
}

int versionFromFib(std::span<const uint8_t> fib) {
    if (fib.size() < 32)
        return -1;
    return versionFromNFib(readU16LE(fib, 2), readU16LE(fib, 20), readU8(fib, 5));
}

}  // namespace morvel
