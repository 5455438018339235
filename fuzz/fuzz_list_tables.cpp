// Reads fuzzed list tables. Input: three pairs of u32 fc and lcb (the list definitions, the
// overrides, the names), then the table stream (the rest). The pairs go into a FIB whose pair
// area holds them.
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "doc/c_doc8.h"
#include "doc/fib_layout.h"
#include "doc/list_tables.h"
#include "platform/le_reader.h"

using namespace morvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kPairs = 24;
    if (size < kPairs)
        return 0;
    const std::span<const uint8_t> in(data, size);
    std::vector<uint8_t> fibBytes(fib::kReadSize, 0);
    writeU32LE(fibBytes, fib::kPairCount, 136);
    const uint32_t at[] = {fib::kPlfLst, fib::kPlfLfo, fib::kSttbListNames};
    for (size_t i = 0; i < 3; ++i) {
        writeU32LE(fibBytes, at[i], readU32LE(in, 8 * i));
        writeU32LE(fibBytes, at[i] + 4, readU32LE(in, 8 * i + 4));
    }
    std::map<uint32_t, FibTable> tables;
    const ListTablesRead read = readListTables(fibBytes, in.subspan(kPairs), tables);
    // What is kept lies inside the stream it came from.
    for (const auto& [offset, t] : tables)
        if (t.bytes.size() > size - kPairs)
            __builtin_trap();
    if (read.state != ListTablesState::Kept && tables.count(fib::kPlfLst))
        __builtin_trap();
    return 0;
}
