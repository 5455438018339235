#include "docwriter/text_write.h"

#include <gtest/gtest.h>

#include <string>

#include "doc/doc_salvage.h"
#include "platform/le_reader.h"

namespace morvel {
namespace {

std::vector<uint8_t> utf16(const std::string& text) {
    std::vector<uint8_t> out;
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

struct Streams {
    std::vector<uint8_t> word, table;
};

Streams readBack(const std::vector<uint8_t>& file) {
    DocContext ctx;
    DocSalvage s = SalvageDocFile(file, ctx);
    EXPECT_EQ(s.result, kSalvageReadable);
    EXPECT_FALSE(s.walkFailed);
    Streams out;
    if (s.storage && s.storage->wordDocument() && s.storage->table1()) {
        out.word = s.storage->ReadWholeStream(*s.storage->wordDocument());
        out.table = s.storage->ReadWholeStream(*s.storage->table1());
    }
    return out;
}

// Where each part of the document lands, for texts around the page boundaries.
TEST(TextWrite8, LaysOutStreamsForTheTextLength) {
    struct Case {
        int32_t textBytes;
        uint32_t p;  // page of the character FKP
        uint32_t wordSize;
    } cases[] = {{0, 5, 3614}, {10000, 24, 13342}, {508, 5, 3614}, {510, 6, 4126}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.textBytes);
        std::vector<uint8_t> text(c.textBytes);
        for (int32_t i = 0; i < c.textBytes; i += 2)
            text[i] = static_cast<uint8_t>('A' + (i / 2) % 26);
        CTextWrite8 writer;
        Streams s = readBack(writer.BuildTextDocument(text, c.textBytes + 2));
        const uint32_t t = c.textBytes, n = t / 2 + 1, end = 2050 + t;
        ASSERT_EQ(s.word.size(), c.wordSize);
        ASSERT_EQ(s.table.size(), 4096u);

        EXPECT_EQ(readU16LE(s.word, 0), 0xA5EC);
        EXPECT_EQ(readU16LE(s.word, 2), 193);
        EXPECT_EQ(readU32LE(s.word, 0x18), 1536u);
        EXPECT_EQ(readU32LE(s.word, 0x1C), end);
        EXPECT_EQ(readU32LE(s.word, 0x4C), n);
        EXPECT_EQ(std::vector<uint8_t>(s.word.begin() + 2048, s.word.begin() + 2048 + t), text);
        EXPECT_EQ(readU16LE(s.word, 2048 + t), 0x000D);

        // FIB positions and the tables they point to.
        const std::pair<size_t, std::vector<uint32_t>> tables[] = {{0xA2, {0, 20}},
                                                                   {0xCA, {318, 20}},
                                                                   {0xFA, {374, 12}},
                                                                   {0x102, {386, 12}},
                                                                   {0x1A2, {402, 21}}};
        for (const auto& [field, fcLcb] : tables) {
            EXPECT_EQ(readU32LE(s.word, field), fcLcb[0]) << field;
            EXPECT_EQ(readU32LE(s.word, field + 4), fcLcb[1]) << field;
        }
        // An empty style sheet: its 18-byte header with no styles.
        EXPECT_EQ(readU16LE(s.table, 0), 18);
        EXPECT_EQ(readU16LE(s.table, 2), 0);
        EXPECT_EQ(readU32LE(s.table, 318 + 4), n);
        EXPECT_EQ(readU32LE(s.table, 318 + 10), (c.p + 2) * 512);
        EXPECT_EQ(readU32LE(s.table, 374 + 4), end);
        EXPECT_EQ(readU32LE(s.table, 374 + 8), c.p);
        EXPECT_EQ(readU32LE(s.table, 386 + 8), c.p + 1);
        EXPECT_EQ(readU8(s.table, 402), 2);
        EXPECT_EQ(readU32LE(s.table, 402 + 9), n);
        EXPECT_EQ(readU32LE(s.table, 402 + 15), 2048u);

        // Character FKP: the text run and the final paragraph mark.
        const size_t chp = c.p * 512, pap = chp + 512, sepx = pap + 512;
        EXPECT_EQ(readU32LE(s.word, chp + 4), 2048 + t);
        EXPECT_EQ(readU32LE(s.word, chp + 8), end);
        EXPECT_EQ(readU8(s.word, chp + 12), 0xFC);
        EXPECT_EQ(readU8(s.word, chp + 511), 2);
        EXPECT_EQ(readU32LE(s.word, chp + 504), 0x2F681606u);
        EXPECT_EQ(readU32LE(s.word, pap + 4), end);
        EXPECT_EQ(readU8(s.word, pap + 8), 0xFD);
        EXPECT_EQ(readU8(s.word, pap + 507), 1);
        EXPECT_EQ(readU8(s.word, pap + 511), 1);
        EXPECT_EQ(readU16LE(s.word, sepx), 28);
        EXPECT_EQ(readU16LE(s.word, sepx + 8), 16742);
    }
}

// A byte count beyond the text given, or an odd one, never reads past the text.
TEST(TextWrite8, ByteCountIsBoundedByTheText) {
    std::vector<uint8_t> text = utf16("abc");
    CTextWrite8 writer;
    Streams s = readBack(writer.BuildTextDocument(text, 1000));
    EXPECT_EQ(readU32LE(s.word, 0x4C), 4u);
    Streams odd = readBack(writer.BuildTextDocument(text, 2 + 5));
    EXPECT_EQ(readU32LE(odd.word, 0x1C), 2050u + 4);
}

}  // namespace
}  // namespace morvel
