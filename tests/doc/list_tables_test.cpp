#include "doc/list_tables.h"

#include <gtest/gtest.h>

#include <functional>

#include "doc/c_doc8.h"
#include "doc/fib_layout.h"
#include "platform/le_reader.h"
#include "tests/support/word97_builder.h"
#include "tests/support/word97_lists.h"

namespace morvel {
namespace {

using test::Word97Builder;
using test::Word97Lists;

// The builder's document with list tables made from `lists`; `damage` may change the three
// tables' bytes (definitions with their levels, overrides, names) before they are placed.
Word97Builder withLists(const Word97Lists& lists,
                        const std::function<void(std::vector<uint8_t>&, std::vector<uint8_t>&,
                                                 std::vector<uint8_t>&)>& damage = nullptr) {
    Word97Builder b;
    uint32_t counted = 0;
    std::vector<uint8_t> defs = lists.definitions(counted);
    std::vector<uint8_t> lfo = lists.overrideTable();
    std::vector<uint8_t> names = lists.nameTable();
    if (damage)
        damage(defs, lfo, names);
    // The definitions last, so that their levels end where the table stream ends.
    b.extraTables = {{fib::kPlfLfo, lfo}, {fib::kSttbListNames, names}, {fib::kPlfLst, defs}};
    b.extraTableLcb[fib::kPlfLst] = counted;
    return b;
}

struct Read {
    DocContext ctx;
    std::unique_ptr<CDoc8> doc;
};

std::unique_ptr<Read> read(Word97Builder& b) {
    auto r = std::make_unique<Read>();
    r->doc = std::make_unique<CDoc8>(b.build(), r->ctx);
    EXPECT_EQ(r->doc->ReadDocument(0), 8);
    return r;
}

TEST(ListTables, IntactTablesAreKeptWithTheLevelsAfterTheDefinitions) {
    struct Case {
        const char* name;
        Word97Lists lists;
        size_t levelsBytes;  // the levels' bytes after the definitions
    };
    Word97Lists simple;
    simple.lists[0].simple = true;
    Word97Lists two;
    two.lists.push_back(Word97Lists::List{0x5678, true, {}});
    two.overrides.push_back(Word97Lists::Override{0x5678, {{0, true}, {3, false}}});
    two.lists[0].levels.resize(9);
    two.lists[0].levels[2].paragraphSprms = {0x0F, 0x84, 0x68, 0x01};  // an indent
    two.lists[0].levels[2].text = u". - .";
    const size_t plain = test::levelBytes(0, {}).size();
    const Case cases[] = {{"nine levels", Word97Lists{}, 9 * plain},
                          {"simple list", simple, plain},
                          {"two lists, level overrides", two, 10 * plain + 4 + 8}};
    for (const Case& c : cases) {
        Word97Builder b = withLists(c.lists);
        auto r = read(b);
        const CDoc8& doc = *r->doc;
        EXPECT_EQ(doc.listTables.state, ListTablesState::Kept) << c.name;
        EXPECT_FALSE(doc.listTables.namesDropped) << c.name;
        const FibTable* lst = doc.table(fib::kPlfLst);
        ASSERT_NE(lst, nullptr) << c.name;
        const size_t counted = 2 + 28 * c.lists.lists.size();
        EXPECT_EQ(static_cast<size_t>(lst->lcb), counted) << c.name;
        EXPECT_EQ(lst->bytes, b.extraTables[2].second) << c.name;
        EXPECT_EQ(lst->bytes.size(), counted + c.levelsBytes) << c.name;
        ASSERT_NE(doc.table(fib::kPlfLfo), nullptr) << c.name;
        EXPECT_EQ(doc.table(fib::kPlfLfo)->bytes, b.extraTables[0].second) << c.name;
        ASSERT_NE(doc.table(fib::kSttbListNames), nullptr) << c.name;
        EXPECT_EQ(doc.table(fib::kSttbListNames)->bytes, b.extraTables[1].second) << c.name;
    }
}

TEST(ListTables, DamagedTablesAreLeftOutAndTheTextKept) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char* name;
        std::function<void(Bytes&, Bytes&, Bytes&)> damage;
        ListTablesState state;
        bool namesKept;
    };
    const size_t firstLevel = 2 + 28;
    const Case cases[] = {
        {"levels cut off with the stream", [](Bytes& d, Bytes&, Bytes&) { d.resize(d.size() - 3); },
         ListTablesState::Dropped, false},
        {"count beyond the definitions", [](Bytes& d, Bytes&, Bytes&) { writeU16LE(d, 0, 2); },
         ListTablesState::Dropped, false},
        {"no definitions counted", [](Bytes& d, Bytes&, Bytes&) { writeU16LE(d, 0, 0); },
         ListTablesState::Dropped, false},
        {"number text longer than the stream",
         [&](Bytes& d, Bytes&, Bytes&) { writeU16LE(d, firstLevel + 28, 0xFFFF); },
         ListTablesState::Dropped, false},
        {"unknown number format", [&](Bytes& d, Bytes&, Bytes&) { d[firstLevel + 4] = 0x70; },
         ListTablesState::Dropped, false},
        {"override names no list", [](Bytes&, Bytes& o, Bytes&) { writeU32LE(o, 4, 0x9999); },
         ListTablesState::Dropped, false},
        {"override count beyond the table",
         [](Bytes&, Bytes& o, Bytes&) { writeU32LE(o, 0, 0x10000000); }, ListTablesState::Dropped,
         false},
        {"override levels beyond the table", [](Bytes&, Bytes& o, Bytes&) { o[4 + 12] = 3; },
         ListTablesState::Dropped, false},
        {"names not a string table", [](Bytes&, Bytes&, Bytes& n) { n[0] = 0; },
         ListTablesState::Kept, false},
        {"name longer than the table", [](Bytes&, Bytes&, Bytes& n) { writeU16LE(n, 6, 400); },
         ListTablesState::Kept, false},
    };
    for (const Case& c : cases) {
        Word97Builder b = withLists(Word97Lists{}, c.damage);
        auto r = read(b);
        const CDoc8& doc = *r->doc;
        EXPECT_EQ(doc.listTables.state, c.state) << c.name;
        EXPECT_FALSE(doc.listTables.why.empty()) << c.name;
        const bool kept = c.state == ListTablesState::Kept;
        EXPECT_EQ(doc.table(fib::kPlfLst) != nullptr, kept) << c.name;
        EXPECT_EQ(doc.table(fib::kPlfLfo) != nullptr, kept) << c.name;
        EXPECT_EQ(doc.table(fib::kSttbListNames) != nullptr, c.namesKept) << c.name;
        EXPECT_EQ(doc.listTables.namesDropped, kept) << c.name;
        // The text and the paragraphs do not depend on the lists.
        EXPECT_EQ(doc.text.size(), 2 * b.text.size()) << c.name;
        EXPECT_NE(r->ctx.statusCode, kStatusTextOnly) << c.name;
    }
}

TEST(ListTables, TablesOutsideTheStreamOrWithoutDefinitions) {
    struct Case {
        const char* name;
        uint32_t at;  // the table whose pair is changed
        uint32_t fc, lcb;
        ListTablesState state;
    } cases[] = {
        {"definitions beyond the stream", fib::kPlfLst, 0x7FFFFFF0, 30, ListTablesState::Dropped},
        {"overrides beyond the stream", fib::kPlfLfo, 10, 0x7FFFFFF0, ListTablesState::Dropped},
        {"overrides without definitions", fib::kPlfLst, 0, 0, ListTablesState::Dropped},
        {"neither table", fib::kPlfLfo, 0, 0, ListTablesState::Absent},
    };
    for (const Case& c : cases) {
        Word97Builder b = withLists(Word97Lists{});
        Doc8Streams streams = b.build();
        writeU32LE(streams.wordDocument, c.at, c.fc);
        writeU32LE(streams.wordDocument, c.at + 4, c.lcb);
        if (c.state == ListTablesState::Absent) {
            writeU32LE(streams.wordDocument, fib::kPlfLst, 0);
            writeU32LE(streams.wordDocument, fib::kPlfLst + 4, 0);
        }
        DocContext ctx;
        CDoc8 doc(std::move(streams), ctx);
        ASSERT_EQ(doc.ReadDocument(0), 8) << c.name;
        EXPECT_EQ(doc.listTables.state, c.state) << c.name;
        EXPECT_EQ(doc.table(fib::kPlfLst), nullptr) << c.name;
        EXPECT_EQ(doc.table(fib::kPlfLfo), nullptr) << c.name;
        EXPECT_EQ(doc.table(fib::kSttbListNames), nullptr) << c.name;
    }
}

}  // namespace
}  // namespace morvel
