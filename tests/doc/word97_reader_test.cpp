#include <gtest/gtest.h>

#include <functional>

#include "doc/c_doc8.h"
#include "doc/fib_layout.h"
#include "doc/picture_type.h"
#include "doc/piece_table.h"
#include "doc/word_version.h"
#include "platform/le_reader.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

using test::Word97Builder;

std::u16string textOf(const CDoc8& doc) {
    std::u16string out;
    for (size_t i = 0; i + 1 < doc.text.size(); i += 2)
        out.push_back(static_cast<char16_t>(readU16LE(doc.text, i)));
    return out;
}

struct Read {
    DocContext ctx;
    std::unique_ptr<CDoc8> doc;
    int result = 0;
};

std::unique_ptr<Read> readDoc(Word97Builder& b) {
    auto r = std::make_unique<Read>();
    r->doc = std::make_unique<CDoc8>(b.build(), r->ctx);
    r->result = r->doc->ReadDocument(0);
    return r;
}

TEST(Word97Version, FollowsNFibChsAndProduct) {
    struct Case {
        uint16_t nFib, chs;
        uint8_t productHigh;
        int version;
    } cases[] = {
        {193, 0, 0, 8},    {192, 0, 0, 8}, {257, 0, 0, 8},     {191, 0, 0, -1},
        {105, 0, 0, -1},   {104, 0, 0, 7}, {104, 0x100, 0, 6}, {104, 5, 0xE0, 7},
        {103, 5, 0x12, 6}, {101, 0, 0, 6}, {102, 0, 0, 6},     {45, 0, 0, 0},
        {0, 0, 0, 0},      {33, 0, 0, 1},  {100, 0, 0, -1},    {1, 0, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(versionFromNFib(c.nFib, c.chs, c.productHigh), c.version) << c.nFib;
}

TEST(Word97Tables, ChoiceFollowsStreamsAndFlag) {
    struct Case {
        uint16_t flags;
        bool has1, has0;
        TableChoice choice;
    } cases[] = {
        {0x0200, true, false, TableChoice::Table1}, {0x0200, true, true, TableChoice::Table1},
        {0x0200, false, true, TableChoice::None},   {0x0000, true, true, TableChoice::Table0},
        {0x0000, false, true, TableChoice::Table0}, {0x0000, true, false, TableChoice::Table1},
        {0x0200, false, false, TableChoice::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vWhichTable(c.flags, c.has1, c.has0), c.choice) << c.flags << c.has1 << c.has0;

    // The flag with only "0Table" leaves no table and the read fails.
    Word97Builder b;
    b.table0 = true;
    EXPECT_EQ(readDoc(b)->result, -1);
    b = Word97Builder{};
    b.table0 = true;
    b.flags = 0;
    EXPECT_EQ(readDoc(b)->result, 8);
}

TEST(Word97Read, IntactDocumentKeepsTextRunsAndTables) {
    Word97Builder b;
    b.papPages = {{{b.endOf(11), 5, {}}}};
    auto r = readDoc(b);
    ASSERT_EQ(r->result, 8);
    EXPECT_EQ(r->ctx.statusCode, kStatusOk);
    EXPECT_EQ(textOf(*r->doc), u"Hello world\r");
    EXPECT_EQ(r->ctx.textLength, 24u);
    ASSERT_EQ(r->doc->chpRuns.size(), 1u);
    EXPECT_EQ(r->doc->chpRuns[0].outputPos, 2048 + 24);
    ASSERT_EQ(r->doc->papRuns.size(), 1u);
    // The style index stays the first sprm record, so it is written back in place.
    EXPECT_EQ(r->doc->papRuns.sprms(r->doc->papRuns[0])[0].opcode, 5);
    EXPECT_EQ(r->doc->papRuns.sprms(r->doc->papRuns[0])[0].size, 2u);
    EXPECT_EQ(r->doc->chpxPages.size(), 1u);
    EXPECT_EQ(r->doc->papxPages.size(), 1u);
    ASSERT_NE(r->doc->table(fib::kStshf), nullptr);
    EXPECT_EQ(r->doc->table(fib::kStshf)->bytes, b.stsh);
    ASSERT_EQ(r->doc->sections.size(), 1u);
    EXPECT_EQ(r->doc->sections[0].sprms, (std::vector<uint8_t>{0x03, 0x30, 0x01}));
    EXPECT_EQ(r->doc->sections[0].fcSepx, static_cast<int32_t>(b.sepxFc));
}

TEST(Word97Read, DamagedFibIsRebuiltAndTextKeptAsPlainDocument) {
    Word97Builder b;
    b.pairCount = 185;
    b.text = u"Some text that survives\r";
    auto r = readDoc(b);
    ASSERT_EQ(r->result, 8);
    EXPECT_TRUE(r->doc->fibRebuilt);
    EXPECT_EQ(r->ctx.statusCode, kStatusTextOnly);
    EXPECT_EQ(textOf(*r->doc), b.text);

    b = Word97Builder{};
    b.pairCount = 184;
    EXPECT_FALSE(readDoc(b)->doc->fibRebuilt);
}

// What a cut-off file leaves: table streams lost, or cut short before the bin tables. The
// piece table or the formatting is gone, the text is kept for a plain document.
TEST(Word97Read, LostTablesKeepTheTextAsPlainDocument) {
    struct Case {
        const char* what;
        bool compressed;
        std::function<void(Doc8Streams&)> damage;
    } cases[] = {
        {"no table stream, UTF-16 text", false, [](Doc8Streams& s) { s.table1.reset(); }},
        {"no table stream, 8-bit text", true, [](Doc8Streams& s) { s.table1.reset(); }},
        {"paragraph bin table past the stream end", false,
         [](Doc8Streams& s) { writeU32LE(s.wordDocument, fib::kPlcfBtePapx + 4, 1u << 20); }},
        // fcMin inside the zeros before the text's page; the main text counts 5 characters,
        // the header text 6 and the closing mark 1: all 12 are read.
        {"fcMin before the text's page, header text counted", false,
         [](Doc8Streams& s) {
             s.table1.reset();
             writeU32LE(s.wordDocument, fib::kFcMin, 1100);
             writeU32LE(s.wordDocument, fib::kCcpText, 5);
             writeU32LE(s.wordDocument, fib::kCcpHdd, 6);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Word97Builder b;
        b.text = u"Hello world\r";
        b.compressed = c.compressed;
        Doc8Streams s = b.build();
        c.damage(s);
        DocContext ctx;
        CDoc8 doc(std::move(s), ctx);
        EXPECT_EQ(doc.ReadDocument(0), 8);
        EXPECT_EQ(ctx.statusCode, kStatusTextOnly);
        EXPECT_EQ(textOf(doc), b.text);
        EXPECT_TRUE(doc.papRuns.empty());
    }
}

TEST(Word97Read, WipedFibIsRebuiltAndReadAsWord97) {
    Word97Builder b;
    b.text = u"Text behind a wiped FIB\r";
    Doc8Streams s = b.build();
    std::fill(s.wordDocument.begin(), s.wordDocument.begin() + 512, 0);
    DocContext ctx;
    CDoc8 doc(std::move(s), ctx);
    EXPECT_EQ(doc.ReadDocument(0), 8);
    EXPECT_TRUE(doc.fibRebuilt);
    EXPECT_EQ(ctx.statusCode, kStatusTextOnly);
    EXPECT_EQ(textOf(doc), b.text);
}

TEST(Word97Read, PairsBeyondTheFibAreaAreNotRead) {
    for (uint32_t count : {93u, 108u}) {
        Word97Builder b;
        b.pairCount = count;
        b.extraTables = {{906, std::vector<uint8_t>(8, 0x77)}};
        auto r = readDoc(b);
        ASSERT_EQ(r->result, 8);
        EXPECT_EQ(r->doc->table(906) != nullptr, count == 108) << count;
    }
}

TEST(Word97Read, SectionWithLongPropertiesStaysEmpty) {
    Word97Builder b;
    b.sections = {{0x03, 0x30, 0x01}, std::vector<uint8_t>(256, 0x11), {0x05, 0x30, 0x02}};
    auto r = readDoc(b);
    ASSERT_EQ(r->doc->sections.size(), 3u);
    EXPECT_EQ(r->doc->sections[0].sprms.size(), 3u);
    EXPECT_TRUE(r->doc->sections[1].sprms.empty());
    EXPECT_EQ(r->doc->sections[2].sprms, (std::vector<uint8_t>{0x05, 0x30, 0x02}));
}

TEST(Word97Pieces, ClxWalkAndTextConversion) {
    std::vector<uint8_t> wd(0x1000, 0);
    const char* ascii = "caf\xE9 \x80";  // 8-bit text at 0x400
    for (int i = 0; ascii[i]; ++i)
        wd[0x400 + i] = static_cast<uint8_t>(ascii[i]);
    const char16_t wide[] = u"AB";
    for (int i = 0; i < 2; ++i)
        writeU16LE(wd, 0x600 + 2 * i, wide[i]);

    // A Prc of 6 bytes, then two piece tables: 6 compressed chars at 0x800/2, 2 wide ones.
    std::vector<uint8_t> clx = {1, 6, 0, 9, 9, 9, 9, 9, 9};
    std::vector<uint8_t> a = test::clxOf({0, 6}, {0x800 | 0x40000000u});
    std::vector<uint8_t> c = test::clxOf({6, 8}, {0x600});
    clx.insert(clx.end(), a.begin(), a.end());
    clx.insert(clx.end(), c.begin(), c.end());
    std::vector<Piece> pieces = parseClx(clx, static_cast<uint32_t>(wd.size()));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].fc, 0x400);
    EXPECT_FALSE(pieces[0].is16Bit);
    EXPECT_TRUE(pieces[1].is16Bit);

    std::vector<uint8_t> text;
    readPiecesText(pieces, wd, 2048, text);
    const std::u16string expected = u"caf\u00E9 \u20ACAB";
    ASSERT_EQ(text.size(), 2 * expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(readU16LE(text, 2 * i), expected[i]) << i;
    EXPECT_EQ(pieces[1].outputPos, 2048 + 12);
    EXPECT_EQ(pieces[1].endOffset, 16);
}

TEST(Word97Pieces, UnsafePiecesAreNotRead) {
    // A negative count, one larger than the stream, and a table longer than the stream.
    std::vector<uint8_t> clx = test::clxOf({10, 5, 100000}, {0x400, 0x400});
    EXPECT_TRUE(parseClx(clx, 4096).empty());
    clx = test::clxOf({0, 5}, {0x400});
    writeU32LE(clx, 1, 5000);
    EXPECT_TRUE(parseClx(clx, 4096).empty());
}

TEST(Word97Pieces, IllegalChunksBecomeFillBytes) {
    std::vector<uint8_t> wd(2048, 0);
    for (size_t i = 0; i < 600; ++i)
        writeU16LE(wd, 2 * i, 'a');
    writeU16LE(wd, 600, 0xFFFF);  // inside the second 512-byte chunk
    std::vector<Piece> pieces = {Piece{0, 600, true, 0, 0, 0}};
    std::vector<uint8_t> text;
    readPiecesText(pieces, wd, 2048, text);
    ASSERT_EQ(text.size(), 1200u);
    EXPECT_EQ(readU16LE(text, 0), 'a');
    EXPECT_EQ(text[511], 'a' >> 8);
    EXPECT_EQ(text[512], 0x01);
    EXPECT_EQ(text[1023], 0x01);
    EXPECT_EQ(readU16LE(text, 1024), 'a');
}

// Chunks are counted from each piece's own start, wherever it lands in the text, and a piece
// that runs past the stream's end reads zeros there.
TEST(Word97Pieces, IllegalChunksCountFromThePieceAndShortPiecesEndInZeros) {
    std::vector<uint8_t> wd(4096, 0);
    wd[0] = 'x';
    wd[1] = 'y';
    wd[2] = 'z';
    for (size_t i = 0; i < 600; ++i)
        writeU16LE(wd, 1024 + 2 * i, 'a');
    writeU16LE(wd, 1024 + 600, 0xFFFF);  // the piece's second 512-byte chunk
    writeU16LE(wd, 4094, 'b');
    std::vector<Piece> pieces = {Piece{0, 3, false, 0, 0, 0}, Piece{1024, 600, true, 0, 0, 0},
                                 Piece{4094, 3, true, 0, 0, 0}};
    std::vector<uint8_t> text;
    readPiecesText(pieces, wd, 2048, text);
    ASSERT_EQ(text.size(), 6u + 1200u + 6u);
    EXPECT_EQ(readU16LE(text, 4), 'z');
    EXPECT_EQ(readU16LE(text, 6 + 510), 'a');
    for (size_t i = 6 + 512; i < 6 + 1024; ++i)
        ASSERT_EQ(text[i], 0x01) << i;
    EXPECT_EQ(readU16LE(text, 6 + 1024), 'a');
    EXPECT_EQ(readU16LE(text, 1206), 'b');
    EXPECT_EQ(readU16LE(text, 1208), 0);
    EXPECT_EQ(readU16LE(text, 1210), 0);
    EXPECT_EQ(pieces[2].outputPos, 2048 + 1206);
}

TEST(Word97Pieces, RunEndsMapThroughThePieces) {
    const std::vector<Piece> wide = {Piece{0x600, 100, true, 0, 2048, 200}};
    const std::vector<Piece> narrow = {Piece{0x600, 100, false, 0, 2048, 200}};
    EXPECT_EQ(mapToOutput(wide, 0x610, -1), 2064);
    EXPECT_EQ(mapToOutput(narrow, 0x610, -1), 2080);
    EXPECT_EQ(mapToOutput(wide, 0x600, -1), -1);  // an empty run at the piece's first byte
    EXPECT_EQ(mapToOutput(wide, 0x600 + 201, -1), -1);
    // A later piece that holds the position wins.
    const std::vector<Piece> both = {Piece{0x600, 100, true, 0, 2048, 200},
                                     Piece{0x600, 100, false, 0, 4000, 300}};
    EXPECT_EQ(mapToOutput(both, 0x610, -1), 4032);
}

// The index that maps every run gives what the scan gives, whatever the pieces' order,
// overlaps, empty or 8-bit pieces and positions below zero.
TEST(Word97Pieces, LookupAgreesWithTheScan) {
    auto piece = [](int32_t fc, int32_t count, bool wide, int32_t out) {
        return Piece{fc, count, wide, 0, out, 0};
    };
    std::vector<std::vector<Piece>> sets = {
        {},
        {piece(0x600, 100, true, 2048)},
        {piece(0x600, 10, true, 2048), piece(0x614, 10, false, 2068), piece(0x61E, 5, true, 2088)},
        // Out of order, overlapping, repeated, empty, and starting below zero.
        {piece(0x700, 20, true, 2048), piece(0x600, 300, false, 2088), piece(0x700, 20, true, 2700),
         piece(0x650, 0, true, 2800), piece(-6, 8, true, 2810), piece(0x640, 4, false, 2830)},
    };
    // Random sets with many overlaps (a fixed seed, so every run sees the same sets).
    uint32_t x = 12345;
    auto next = [&x](uint32_t n) {
        x = x * 1103515245u + 12345u;
        return (x >> 8) % n;
    };
    for (int set = 0; set < 20; ++set) {
        std::vector<Piece> pieces;
        const uint32_t n = 1 + next(40);
        for (uint32_t i = 0; i < n; ++i)
            pieces.push_back(piece(static_cast<int32_t>(next(400)) - 20,
                                   static_cast<int32_t>(next(30)), next(2) == 0,
                                   2048 + 64 * static_cast<int32_t>(i)));
        sets.push_back(std::move(pieces));
    }
    for (size_t s = 0; s < sets.size(); ++s) {
        const PieceLookup lookup(sets[s]);
        for (int32_t fc = -40; fc < 0x800; ++fc)
            ASSERT_EQ(lookup.map(fc, -1), mapToOutput(sets[s], fc, -1))
                << "set " << s << " fc " << fc;
    }
}

TEST(Word97Properties, PageAcceptanceByRunCount) {
    struct Case {
        bool paragraph;
        size_t runs;
        bool kept;
    } cases[] = {{true, 29, true}, {true, 30, false}, {false, 100, true}, {false, 101, false}};
    for (const Case& c : cases) {
        Word97Builder b;
        b.text = std::u16string(c.runs, u'x');
        std::vector<Word97Builder::ChpRun> chp;
        std::vector<Word97Builder::PapRun> pap;
        for (size_t i = 0; i < c.runs; ++i) {
            chp.push_back({b.endOf(i), {}});
            pap.push_back({b.endOf(i), 1, {}});
        }
        if (c.paragraph)
            b.papPages = {pap};
        else
            b.chpPages = {chp};
        auto r = readDoc(b);
        ASSERT_EQ(r->result, 8);
        const size_t read = c.paragraph ? r->doc->papRunsRead : r->doc->chpRunsRead;
        // A rejected last paragraph page leaves only the run that closes its text.
        const size_t expected = c.kept ? c.runs : (c.paragraph ? 1u : 0u);
        EXPECT_EQ(read, expected) << c.paragraph << " " << c.runs;
        if (c.paragraph && !c.kept) {
            EXPECT_TRUE(r->doc->papRuns.has(r->doc->papRuns.list().at(0), kSprmEndMarker));
        }
    }
}

TEST(Word97Properties, DamagedCharacterPageIsBridgedByMarkedRuns) {
    Word97Builder b;
    b.text = std::u16string(30, u'x');
    const std::vector<uint8_t> bold = {0x35, 0x08, 0x01};
    b.chpPages = {{{b.endOf(9), bold}}, {{b.endOf(19), bold}}, {{b.endOf(29), bold}}};
    Doc8Streams s = b.build();
    // The middle page no longer continues the first one.
    writeU32LE(s.wordDocument, b.chpPageNumbers[1] * 512, 7);
    DocContext ctx;
    CDoc8 doc(std::move(s), ctx);
    ASSERT_EQ(doc.ReadDocument(0), 8);
    std::vector<std::pair<int32_t, bool>> runs;  // end in the output, carries the marker
    for (const PropertyRun& run : doc.chpRuns)
        runs.push_back({run.outputPos, doc.chpRuns.has(run, kSprmMarker)});
    const std::vector<std::pair<int32_t, bool>> expected = {
        {2048 + 20, false},  // the first page's run
        {2048 + 22, false},  // a bare run just after its last good position
        {2048 + 40, true},   // the gap up to the next good page, marked
        {2048 + 60, false},  // the third page's run
    };
    EXPECT_EQ(runs, expected);
}

TEST(Word97Properties, IntactFirstTableRowKeepsItsRuns) {
    Word97Builder b;
    b.text =
        u"a\x07"
        u"b\x07\x07"
        u"after\r";
    const std::vector<uint8_t> inTable = {0x49, 0x66, 1, 0, 0, 0};
    std::vector<uint8_t> rowEnd = inTable;
    rowEnd.insert(rowEnd.end(), {0x6B, 0x64, 0, 0, 0, 0});
    b.papPages = {{{b.endOf(1), 0, inTable},
                   {b.endOf(3), 0, inTable},
                   {b.endOf(4), 0, rowEnd},
                   {b.endOf(10), 0, {}}}};
    auto r = readDoc(b);
    ASSERT_EQ(r->result, 8);
    ASSERT_EQ(r->doc->papRuns.size(), 4u);
    EXPECT_TRUE(r->doc->papRuns.has(r->doc->papRuns[2], kSprmTableInData));
}

TEST(Word97Properties, DataBlocksOfParagraphsMoveWithTheirPointers) {
    Word97Builder b;
    b.text = u"ab\rcd\r";
    std::vector<uint8_t> data(400, 0);
    // At 300 a block of 6 + 2 bytes that points at table properties at 200 (4 + 2 bytes).
    writeU16LE(data, 300, 6);
    writeU16LE(data, 302, kSprmTableInData);
    writeU32LE(data, 304, 200);
    writeU16LE(data, 200, 4);
    writeU32LE(data, 202, 0xCAFEF00D);
    b.data = data;
    auto huge = [](uint32_t at) {
        std::vector<uint8_t> g = {0x46, 0x66};
        appendU32LE(g, at);
        return g;
    };
    b.papPages = {{{b.endOf(2), 0, huge(300)}, {b.endOf(5), 0, huge(300)}}};
    auto r = readDoc(b);
    ASSERT_EQ(r->result, 8);
    const CDoc8& doc = *r->doc;
    ASSERT_EQ(doc.dataBlocks.size(), 2u);
    EXPECT_EQ(doc.dataBlocks[0].oldOffset, 300);
    EXPECT_EQ(doc.dataBlocks[0].newOffset, 0);
    EXPECT_EQ(doc.dataBlocks[0].length, 8);
    EXPECT_EQ(doc.dataBlocks[1].oldOffset, 200);
    EXPECT_EQ(doc.dataBlocks[1].newOffset, 8);
    EXPECT_EQ(readU32LE(doc.dataBlocks[1].bytes, 2), 0xCAFEF00Du);
    // The outer block now points at the inner one's new place; both runs share the block.
    EXPECT_EQ(readU32LE(doc.dataBlocks[0].bytes, 4), 8u);
    for (const PropertyRun& run : doc.papRuns)
        EXPECT_EQ(doc.papRuns.operandU32(*doc.papRuns.find(run, kSprmPropsInData)), 0u);
}

TEST(Word97Properties, AllRunsBeyondTheTextLeaveOneEndRun) {
    Word97Builder b;
    b.chpPages = {{{b.endOf(400), {0x35, 0x08, 0x01}}}};
    auto r = readDoc(b);
    ASSERT_EQ(r->result, 8);
    ASSERT_EQ(r->doc->chpRuns.size(), 1u);
    EXPECT_EQ(r->doc->chpRuns[0].outputPos, static_cast<int32_t>(2050 + r->ctx.textLength));
    const PropertyRuns& runs = r->doc->chpRuns;
    EXPECT_EQ(runs.operandU32(*runs.find(runs[0], kSprmMarker)), kNoRunsMarker);
}

TEST(Word97Pictures, TypingTriesSignaturesInOrderOverTheWholeBlock) {
    std::vector<uint8_t> data(64, 0);
    const uint8_t png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    std::copy(std::begin(png), std::end(png), data.begin() + 8);
    EXPECT_EQ(pictureTypeAt(data, 0, 64), kPicturePng);
    data[40] = 0xFF, data[41] = 0xD8, data[42] = 0xFF;  // a JPEG signature after the PNG one
    EXPECT_EQ(pictureTypeAt(data, 0, 64), kPictureJpeg);
    EXPECT_EQ(pictureTypeAt(data, 0, 40), kPicturePng);  // outside the block
    std::vector<uint8_t> bare(32, 0);
    EXPECT_EQ(pictureTypeAt(bare, 0, 32), kPictureUnreadable);
    bare[6] = 8;
    EXPECT_EQ(pictureTypeAt(bare, 0, 32), kPictureHeaderOnly);
}

TEST(Word97Pictures, RunsSharingAPictureShareItsBlock) {
    Word97Builder b;
    b.text = u"\x01\x01x\x01";
    std::vector<uint8_t> data(300, 0);
    writeU32LE(data, 100, 40);  // a picture block of 40 bytes at 100 holding a PNG
    const uint8_t png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    std::copy(std::begin(png), std::end(png), data.begin() + 120);
    writeU32LE(data, 200, 40);  // an unreadable one at 200
    b.data = data;
    auto picture = [](uint32_t at, bool object) {
        std::vector<uint8_t> g = {0x03, 0x6A};
        appendU32LE(g, at);
        g.insert(g.end(), {0x55, 0x08, 0x01});
        if (object)
            g.insert(g.end(), {0x0A, 0x08, 0x01});
        return g;
    };
    b.chpPages = {{{b.endOf(0), picture(100, false)},
                   {b.endOf(1), picture(100, false)},
                   {b.endOf(2), {}},
                   {b.endOf(3), picture(200, false)}}};
    auto r = readDoc(b);
    ASSERT_EQ(r->result, 8);
    const CDoc8& doc = *r->doc;
    ASSERT_EQ(doc.dataBlocks.size(), 1u);
    EXPECT_EQ(doc.dataBlocks[0].oldOffset, 100);
    EXPECT_EQ(doc.dataBlocks[0].length, 40);
    const PropertyRuns& runs = doc.chpRuns;
    EXPECT_EQ(runs.operandU32(*runs.find(runs[0], kSprmPicLocation)), 0u);
    EXPECT_EQ(runs.operandU32(*runs.find(runs[1], kSprmPicLocation)), 0u);
    EXPECT_TRUE(runs.find(runs[3], kSprmPicLocation)->dropped);
    EXPECT_TRUE(runs.find(runs[3], kSprmSpecialChar)->dropped);
    EXPECT_EQ(doc.picturesDropped, 1);

    // With the embedded-object flag, or the flag before the location, it is no picture run.
    for (bool object : {true}) {
        Word97Builder c = b;
        c.chpPages = {{{c.endOf(3), picture(200, object)}}};
        auto q = readDoc(c);
        EXPECT_EQ(q->doc->pictureRuns, 0);
    }
}

}  // namespace
}  // namespace morvel
