#include <gtest/gtest.h>

#include "doc/c_doc8.h"
#include "doc/doc_salvage.h"
#include "doc/fib_layout.h"
#include "docwriter/recover_doc_file.h"
#include "platform/le_reader.h"
#include "tests/support/word97_builder.h"
#include "tests/support/word97_lists.h"

namespace morvel {
namespace {

using test::Word97Builder;
using test::Word97Lists;

constexpr uint16_t kSprmPIlfo = 0x460B;
constexpr uint16_t kSprmPIlvl = 0x260A;

// Three paragraphs: the first two numbered (list override 1, levels 0 and 1), the third not.
struct NumberedDocument {
    Word97Builder b;
    std::vector<uint8_t> definitions, overrides, names;
    uint32_t counted = 0;

    explicit NumberedDocument(const Word97Lists& lists = {}) {
        b.text = u"One\rTwo\rThree\r";
        b.papPages = {{{b.endOf(3), 0, test::listParagraphSprms(1, 0)},
                       {b.endOf(7), 0, test::listParagraphSprms(1, 1)},
                       {b.endOf(13), 0, {}}}};
        definitions = lists.definitions(counted);
        overrides = lists.overrideTable();
        names = lists.nameTable();
        b.extraTables = {
            {fib::kPlfLst, definitions}, {fib::kPlfLfo, overrides}, {fib::kSttbListNames, names}};
        b.extraTableLcb[fib::kPlfLst] = counted;
    }
};

struct Streams {
    std::vector<uint8_t> word, table;
};

Streams streamsOf(const std::vector<uint8_t>& file) {
    DocContext ctx;
    DocSalvage s = SalvageDocFile(file, ctx);
    Streams out;
    if (s.storage && s.storage->wordDocument() && s.storage->table1()) {
        out.word = s.storage->ReadWholeStream(*s.storage->wordDocument());
        out.table = s.storage->ReadWholeStream(*s.storage->table1());
    }
    return out;
}

std::vector<uint8_t> tableAt(const Streams& s, uint32_t fcOffset, size_t bytes) {
    const uint32_t fc = readU32LE(s.word, fcOffset);
    if (!fits(s.table, fc, bytes))
        return {};
    return std::vector<uint8_t>(s.table.begin() + fc, s.table.begin() + fc + bytes);
}

// The list override and level of each paragraph of a document's paragraph runs (-1: none).
std::vector<std::pair<int, int>> paragraphLists(const CDoc8& doc) {
    std::vector<std::pair<int, int>> out;
    for (const PropertyRun& run : doc.papRuns) {
        const SprmRecord* ilfo = doc.papRuns.find(run, kSprmPIlfo);
        const SprmRecord* ilvl = doc.papRuns.find(run, kSprmPIlvl);
        out.emplace_back(ilfo ? static_cast<int>(doc.papRuns.operandU32(*ilfo) & 0xFFFF) : -1,
                         ilvl ? static_cast<int>(doc.papRuns.operandU32(*ilvl) & 0xFF) : -1);
    }
    return out;
}

// The rebuilt document holds the list definitions with their levels, the overrides and the
// names, and its paragraphs still name their list and level.
TEST(Word97WriterLists, NumberedParagraphsKeepTheirLists) {
    NumberedDocument d;
    DocContext ctx;
    std::vector<uint8_t> out;
    const RecoveryResult r = RecoverDocFile(d.b.buildFile(), out, ctx);
    ASSERT_EQ(r.code, kRecoverDocWritten);
    EXPECT_EQ(r.message.find("list"), std::string::npos) << r.message;

    const Streams s = streamsOf(out);
    ASSERT_FALSE(s.word.empty());
    EXPECT_EQ(readU32LE(s.word, fib::kPlfLst + 4), d.counted);
    EXPECT_EQ(tableAt(s, fib::kPlfLst, d.definitions.size()), d.definitions);
    EXPECT_EQ(readU32LE(s.word, fib::kPlfLfo + 4), d.overrides.size());
    EXPECT_EQ(tableAt(s, fib::kPlfLfo, d.overrides.size()), d.overrides);
    EXPECT_EQ(readU32LE(s.word, fib::kSttbListNames + 4), d.names.size());
    EXPECT_EQ(tableAt(s, fib::kSttbListNames, d.names.size()), d.names);

    // Read back, the lists parse and the paragraphs keep their references.
    Doc8Streams again;
    again.wordDocument = s.word;
    again.table1 = s.table;
    DocContext ctx2;
    CDoc8 doc(std::move(again), ctx2);
    ASSERT_EQ(doc.ReadDocument(0), 8);
    EXPECT_EQ(doc.listTables.state, ListTablesState::Kept);
    const std::vector<std::pair<int, int>> expected = {{1, 0}, {1, 1}, {-1, -1}};
    std::vector<std::pair<int, int>> got = paragraphLists(doc);
    got.resize(std::min(got.size(), expected.size()));
    EXPECT_EQ(got, expected);
}

// A list table that does not parse costs the numbering, never the text, and the result says so.
TEST(Word97WriterLists, DamagedListsAreLeftOutAndReported) {
    NumberedDocument d;
    writeU16LE(d.b.extraTables[0].second, 0, 7);  // seven definitions counted, one there
    DocContext ctx;
    std::vector<uint8_t> out;
    RecoverDocFindings findings;
    const RecoveryResult r = RecoverDocFile(d.b.buildFile(), out, ctx, &findings);
    ASSERT_EQ(r.code, kRecoverDocWritten);
    EXPECT_NE(r.message.find("list numbering was left out"), std::string::npos) << r.message;
    EXPECT_TRUE(findings.listsDropped);
    EXPECT_EQ(findings.textBytes, 2 * d.b.text.size());
    const Streams s = streamsOf(out);
    EXPECT_EQ(readU32LE(s.word, fib::kPlfLst + 4), 0u);
    EXPECT_EQ(readU32LE(s.word, fib::kPlfLfo + 4), 0u);
    EXPECT_EQ(readU32LE(s.word, fib::kSttbListNames + 4), 0u);
}

}  // namespace
}  // namespace morvel
