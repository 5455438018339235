#include "docwriter/fib_header.h"

#include <gtest/gtest.h>

#include "doc/doc_salvage.h"
#include "doc/fib_layout.h"
#include "docwriter/recover_doc_file.h"
#include "docwriter/text_write.h"
#include "platform/le_reader.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

std::vector<uint8_t> wordDocumentOf(const std::vector<uint8_t>& file) {
    DocContext ctx;
    DocSalvage s = SalvageDocFile(file, ctx);
    if (!s.storage || !s.storage->wordDocument())
        return {};
    return s.storage->ReadWholeStream(*s.storage->wordDocument());
}

// The fixed fields, and "no page" in the three old linked bin-table fields, as Word writes them.
TEST(FibHeader, FixedFields) {
    std::vector<uint8_t> fibBytes(fib::kOutputSize, 0);
    writeFibHeader(fibBytes, 1536, 4000);
    struct Field {
        uint32_t at;
        uint32_t value;
        int bytes;
    } fields[] = {
        {fib::kIdent, 0xA5EC, 2},
        {fib::kNFib, 0xC1, 2},
        {fib::kFlags, 0x1208, 2},
        {fib::kNFibBack, 0xBF, 2},
        {fib::kFcMin, 1536, 4},
        {fib::kFcMac, 4000, 4},
        {fib::kCsw, 14, 2},
        {fib::kClw, 22, 2},
        {fib::kPnFbpChpFirst, 0xFFFFF, 4},
        {fib::kPnFbpPapFirst, 0xFFFFF, 4},
        {fib::kPnFbpLvcFirst, 0xFFFFF, 4},
        {fib::kPairCount, 136, 2},
    };
    for (const Field& f : fields) {
        const uint32_t got = f.bytes == 2 ? readU16LE(fibBytes, f.at) : readU32LE(fibBytes, f.at);
        EXPECT_EQ(got, f.value) << std::hex << f.at;
    }
    // Too small a buffer takes what fits and nothing beyond.
    std::vector<uint8_t> small(8, 0);
    writeFibHeader(small, 1536, 4000);
    EXPECT_EQ(readU16LE(small, 0), 0xA5EC);
}

// The Word 97 writer and the plain-text writer write the same header: only the positions and
// counts of their own text differ.
TEST(FibHeader, BothDocumentWritersAgree) {
    test::Word97Builder b;
    DocContext ctx;
    std::vector<uint8_t> rebuilt;
    ASSERT_EQ(RecoverDocFile(b.buildFile(), rebuilt, ctx).code, kRecoverDocWritten);
    const std::vector<uint8_t> text = {'H', 0, 'i', 0};
    CTextWrite8 writer;
    const std::vector<uint8_t> plain = wordDocumentOf(writer.BuildTextDocument(text, 6));
    const std::vector<uint8_t> full = wordDocumentOf(rebuilt);
    ASSERT_GE(plain.size(), fib::kOutputSize);
    ASSERT_GE(full.size(), fib::kOutputSize);
    struct Range {
        uint32_t from, to;
    } same[] = {{0, fib::kFcMac},
                {fib::kCsw, fib::kCbMac},
                {fib::kProductCreated, fib::kCcpText},
                {fib::kPnFbpChpFirst, fib::kPairsStart}};
    for (const Range& r : same)
        for (uint32_t i = r.from; i < r.to; ++i)
            EXPECT_EQ(plain[i], full[i]) << "FIB byte 0x" << std::hex << i;
}

}  // namespace
}  // namespace morvel
