// Reads fuzzed Word 97 streams with the reader and packs them as the writer would.
// Input: u32 size of the WordDocument stream, its bytes, u32 size of the table stream, its
// bytes, then the Data stream (the rest). A first byte with bit 0 set names the table
// stream "0Table".
#include <cstddef>
#include <cstdint>
#include <span>

#include "doc/c_doc8.h"
#include "docwriter/doc8_writer.h"
#include "platform/le_reader.h"

using namespace morvel;

namespace {

std::vector<uint8_t> take(std::span<const uint8_t>& in) {
    const uint32_t n = readU32LE(in, 0);
    in = in.subspan(std::min<size_t>(4, in.size()));
    const size_t k = std::min<size_t>(n, in.size());
    std::vector<uint8_t> out(in.begin(), in.begin() + k);
    in = in.subspan(k);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool zeroTable = data[0] & 1;
    std::span<const uint8_t> in(data + 1, size - 1);
    Doc8Streams streams;
    streams.wordDocument = take(in);
    std::vector<uint8_t> table = take(in);
    if (zeroTable)
        streams.table0 = std::move(table);
    else
        streams.table1 = std::move(table);
    if (!in.empty())
        streams.data = std::vector<uint8_t>(in.begin(), in.end());
    DocContext ctx;
    ProgressModel progress;
    ctx.progress = &progress;
    CDoc8 doc(std::move(streams), ctx);
    if (doc.ReadDocument(0) < 0)
        return 0;
    doc.ReadPictureStore();
    if (ctx.statusCode != kStatusTextOnly) {
        CompoundFileWriter out;
        Doc8Writer(doc, nullptr).build(out);
    }
    return 0;
}
