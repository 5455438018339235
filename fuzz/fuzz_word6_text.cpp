// Reads fuzzed bytes as a Word 6.0/95 WordDocument stream and as a Word 1.x/2.0 file: the
// text readers of the older versions, with their piece-table search, code pages and the
// reduction of Word's marks to plain text.
#include <cstddef>
#include <cstdint>
#include <span>

#include "doc/word6_text.h"

using namespace morvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> in(data, size);
    const EarlyWordText six = readWord6Text(in);
    const EarlyWordText two = readWord2Text(in);
    // The text is whole UTF-16 units and never longer than the bytes that gave it.
    if (six.text.size() % 2 != 0 || six.text.size() > 2 * size + 2 || two.text.size() % 2 != 0 ||
        two.text.size() > 2 * size + 2)
        __builtin_trap();
    return 0;
}
