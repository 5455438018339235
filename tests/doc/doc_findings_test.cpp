#include "doc/doc_findings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "doc/c_doc8.h"
#include "doc/doc_salvage.h"
#include "doc/fib_layout.h"
#include "doc/raw_search.h"
#include "platform/cfb_constants.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

using Bytes = std::vector<uint8_t>;

// What one recovery of a .doc file's bytes found, salvage and read together, with the text
// the reader assembled.
struct Read {
    DocContext ctx;
    DocSalvage salvage;
    std::vector<uint8_t> text;
};

std::unique_ptr<Read> readFile(const Bytes& file) {
    auto r = std::make_unique<Read>();
    r->salvage = SalvageDocFile(file, r->ctx, true);
    if (r->salvage.result != kSalvageReadable || !r->salvage.storage)
        return r;
    const CDocStorage& st = *r->salvage.storage;
    Doc8Streams streams;
    if (st.wordDocument())
        streams.wordDocument = st.ReadWholeStream(*st.wordDocument());
    if (st.table1())
        streams.table1 = st.ReadWholeStream(*st.table1());
    if (st.table0())
        streams.table0 = st.ReadWholeStream(*st.table0());
    CDoc8 doc(std::move(streams), r->ctx);
    doc.ReadDocument(0);
    r->text = doc.text;
    return r;
}

std::unique_ptr<Read> readStreams(Doc8Streams streams) {
    auto r = std::make_unique<Read>();
    CDoc8 doc(std::move(streams), r->ctx);
    doc.ReadDocument(0);
    r->text = doc.text;
    return r;
}

Bytes utf16(std::u16string_view s) {
    Bytes out;
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

// The image position of a stream's directory entry, found by its name.
size_t entryPos(const Bytes& file, std::string_view name) {
    const int64_t at = findBytes(file, 0, utf16Pattern(name));
    EXPECT_GE(at, 0) << name;
    return static_cast<size_t>(std::max<int64_t>(at, 0));
}

size_t wordStartSector(const Bytes& file) {
    return readU32LE(file, entryPos(file, "WordDocument") + kCfbEntryStart);
}

size_t fatEntryPos(const Bytes& file, size_t s) {
    return test::sectorPos(test::layoutOf(file).fatSectors[s / 128]) + 4 * (s % 128);
}

const std::u16string kText = std::u16string(2000, u'w') + u" the end\r";

test::Word97Builder builder() {
    test::Word97Builder b;
    b.text = kText;
    return b;
}

// Each damaged fixture gives its finding, graded, and keeps the text wherever the text's
// own bytes are still in the file.
TEST(DocFindings, EachDamageIsRecordedWhereItIsDecided) {
    struct Case {
        const char* what;
        std::function<std::unique_ptr<Read>()> run;
        std::string_view message;
        FindingGrade grade;
        bool textKept;
    };
    const Bytes intact = builder().buildFile();
    const Case cases[] = {
        {"header zeroed",
         [&] {
             Bytes f = intact;
             std::fill(f.begin(), f.begin() + 512, 0);
             return readFile(f);
         },
         docfinding::kHeaderRebuilt, FindingGrade::Potential, true},
        {"FAT sector zeroed",
         [&] {
             Bytes f = intact;
             const size_t fat = test::sectorPos(test::layoutOf(f).fatSectors[0]);
             std::fill(f.begin() + fat, f.begin() + fat + 512, 0);
             return readFile(f);
         },
         docfinding::kFatSectorGuessed, FindingGrade::Potential, true},
        {"FAT value out of range, header lost",
         [&] {
             Bytes f = intact;
             writeU32LE(f, fatEntryPos(f, wordStartSector(f) + 2), 0x7FFFFFF0);
             std::fill(f.begin(), f.begin() + 512, 0);
             return readFile(f);
         },
         docfinding::kFatValuesRepaired, FindingGrade::Potential, true},
        {"chain ends early",
         [&] {
             Bytes f = intact;
             writeU32LE(f, fatEntryPos(f, wordStartSector(f) + 3),
                        static_cast<uint32_t>(kCfbEndOfChain));
             return readFile(f);
         },
         docfinding::kChainGuessed, FindingGrade::Potential, true},
        {"chain comes back on itself",
         [&] {
             Bytes f = intact;
             const size_t s = wordStartSector(f);
             writeU32LE(f, fatEntryPos(f, s + 3), static_cast<uint32_t>(s));
             return readFile(f);
         },
         docfinding::kChainGuessed, FindingGrade::Potential, true},
        {"size beyond the file",
         [&] {
             Bytes f = intact;
             writeU32LE(f, entryPos(f, "WordDocument") + kCfbEntrySize, 0x00100000);
             return readFile(f);
         },
         docfinding::kStreamCutShort, FindingGrade::Incorrect, true},
        {"stream name damaged",
         [&] {
             Bytes f = intact;
             f[entryPos(f, "WordDocument") + 2] ^= 0x04;  // 'o' becomes 'k'
             return readFile(f);
         },
         docfinding::kNameRepaired, FindingGrade::Potential, true},
        {"piece position past the stream, repaired from the piece before",
         [] {
             test::Word97Builder b = builder();
             b.clx = test::clxOf({0, 1000, static_cast<int32_t>(kText.size())}, {1536, 0x00FFFFF0});
             return readStreams(b.build());
         },
         docfinding::kPieceRepaired, FindingGrade::Potential, true},
        {"only piece past the stream",
         [] {
             test::Word97Builder b = builder();
             b.clx = test::clxOf({0, static_cast<int32_t>(kText.size())}, {0x00FFFFF0});
             return readStreams(b.build());
         },
         docfinding::kPieceRefused, FindingGrade::Incorrect, true},
        {"character page overwritten",
         [] {
             test::Word97Builder b = builder();
             Doc8Streams s = b.build();
             const size_t page = 512 * size_t{b.chpPageNumbers.at(0)};
             s.wordDocument[page + 511] = 0xF0;  // more runs than a page holds
             return readStreams(std::move(s));
         },
         docfinding::kFkpPageRefused, FindingGrade::Incorrect, true},
        {"bin table outside the table stream",
         [] {
             Doc8Streams s = builder().build();
             writeU32LE(s.wordDocument, fib::kPlcfBteChpx, 0x00FFFFF0);
             return readStreams(std::move(s));
         },
         docfinding::kBinTableLost, FindingGrade::Incorrect, true},
        {"FIB table count implausible",
         [] {
             test::Word97Builder b = builder();
             b.pairCount = 0x4000;
             return readStreams(b.build());
         },
         docfinding::kFibRebuilt, FindingGrade::Potential, true},
        {"table stream named but missing",
         [] {
             test::Word97Builder b = builder();
             b.table0 = true;  // flags still name "1Table"
             return readStreams(b.build());
         },
         docfinding::kTableStreamMissing, FindingGrade::Fatal, false},
    };
    const Bytes text = utf16(kText);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<Read> r = c.run();
        const auto& list = r->ctx.findings.list();
        const auto hit = std::find_if(list.begin(), list.end(),
                                      [&](const DocFinding& f) { return f.message == c.message; });
        ASSERT_NE(hit, list.end()) << c.message;
        EXPECT_EQ(hit->grade, c.grade);
        if (c.textKept) {
            ASSERT_GE(r->text.size(), text.size());
            EXPECT_TRUE(std::equal(text.begin(), text.end(), r->text.begin()));
        }
    }
}

// An undamaged document gives no finding at all.
TEST(DocFindings, IntactDocumentHasNone) {
    const std::unique_ptr<Read> r = readFile(builder().buildFile());
    ASSERT_EQ(r->salvage.result, kSalvageReadable);
    EXPECT_TRUE(r->ctx.findings.empty());
    EXPECT_EQ(r->text, utf16(kText));
}

// A flood of findings ends with one note that more were left out.
TEST(DocFindings, ListIsBounded) {
    DocFindings f;
    for (size_t i = 0; i < DocFindings::kLimit + 50; ++i)
        f.note(FindingGrade::Incorrect, docfinding::kFkpPageRefused, static_cast<int64_t>(i));
    ASSERT_EQ(f.list().size(), DocFindings::kLimit + 1);
    EXPECT_EQ(f.list().back().message, docfinding::kTooManyFindings);
}

}  // namespace
}  // namespace morvel
