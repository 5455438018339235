#include <gtest/gtest.h>

#include <vector>

#include "doc/fkp_packer.h"
#include "platform/le_reader.h"

namespace morvel {
namespace {

// Adds a sprm of `size` bytes whose opcode and operand bytes are all `tag` to the last run, so
// a test can find it.
void addSprmOf(PropertyRuns& runs, uint32_t size, uint8_t tag) {
    runs.addSprm(static_cast<uint16_t>(tag | (tag << 8)), std::vector<uint8_t>(size - 2, tag));
}

// Adds a run ending at `end` with sprms of the given sizes.
PropertyRun& addRun(PropertyRuns& runs, int32_t end, std::vector<uint32_t> sizes,
                    uint8_t tag = 0xA1) {
    PropertyRun& run = runs.add(0);
    run.outputPos = end;
    for (uint32_t size : sizes)
        addSprmOf(runs, size, tag);
    return runs.back();
}

// Runs built by addRun from (end, sizes, tag) rows.
struct RunRow {
    int32_t end;
    std::vector<uint32_t> sizes;
    uint8_t tag = 0xA1;
};
PropertyRuns runsOf(std::initializer_list<RunRow> rows) {
    PropertyRuns runs;
    for (const RunRow& r : rows)
        addRun(runs, r.end, r.sizes, r.tag);
    return runs;
}

std::vector<uint8_t> bytesAt(const FkpPage& page, size_t from, size_t to) {
    return std::vector<uint8_t>(page.bytes.begin() + from, page.bytes.begin() + to + 1);
}

struct ChpxCase {
    uint32_t first, second;      // property byte counts of two different runs on one page
    int fill1, cb1, fill2, cb2;  // fill byte offsets (-1 none) and length byte offsets
};

TEST(ChpxPacking, SetsStartOnEvenOffsetsWithFillBytesWhereNeeded) {
    const ChpxCase cases[] = {
        {3, 2, 510, 506, 505, 502},
        {3, 3, 510, 506, -1, 502},
        {4, 3, -1, 506, -1, 502},
    };
    for (const ChpxCase& c : cases) {
        PropertyRuns runs = runsOf({{2050, {c.first}, 0xA1}, {2060, {c.second}, 0xB2}});
        std::vector<FkpPage> pages = packChpxPages(runs);
        ASSERT_EQ(pages.size(), 1u);
        const FkpPage& p = pages[0];
        SCOPED_TRACE(c.first * 10 + c.second);
        if (c.fill1 >= 0) {
            EXPECT_EQ(p.bytes[c.fill1], 0);
        }
        EXPECT_EQ(p.bytes[c.cb1], c.first);
        EXPECT_EQ(c.cb1 % 2, 0);
        EXPECT_EQ(bytesAt(p, c.cb1 + 1, c.cb1 + c.first), std::vector<uint8_t>(c.first, 0xA1));
        EXPECT_EQ(p.bytes[c.cb2], c.second);
        EXPECT_EQ(bytesAt(p, c.cb2 + 1, c.cb2 + c.second), std::vector<uint8_t>(c.second, 0xB2));
        // rgfc 1536, 2050, 2060, then one word offset per run, crun last.
        EXPECT_EQ(readU32LE(p.bytes, 0), 1536u);
        EXPECT_EQ(readU32LE(p.bytes, 4), 2050u);
        EXPECT_EQ(readU32LE(p.bytes, 8), 2060u);
        EXPECT_EQ(p.bytes[12], c.cb1 / 2);
        EXPECT_EQ(p.bytes[13], c.cb2 / 2);
        EXPECT_EQ(p.bytes[511], 2);
        EXPECT_EQ(p.lastFc, 2060u);
    }
}

TEST(ChpxPacking, ExactLayoutOfFirstSets) {
    // 3 bytes: zero at 510, sprm at 507..509, cb at 506, rgb 253.
    PropertyRuns runs = runsOf({{2050, {3}}});
    FkpPage p = packChpxPages(runs).at(0);
    EXPECT_EQ(bytesAt(p, 506, 510), (std::vector<uint8_t>{3, 0xA1, 0xA1, 0xA1, 0}));
    EXPECT_EQ(p.bytes[8], 253);
    // 4 bytes: no fill, sprm at 507..510, cb at 506.
    runs = runsOf({{2050, {4}}});
    p = packChpxPages(runs).at(0);
    EXPECT_EQ(bytesAt(p, 506, 510), (std::vector<uint8_t>{4, 0xA1, 0xA1, 0xA1, 0xA1}));
    EXPECT_EQ(p.bytes[8], 253);
}

TEST(ChpxPacking, SprmsAreWrittenInOrderWithOpcodeLowByteFirst) {
    PropertyRuns runs;
    runs.add(0).outputPos = 2100;
    runs.addSprmU8(0x0835, 1);
    addSprmOf(runs, 3, 0xEE);
    runs.addSprmU32(0x6816, 0x0050102F);
    runs.sprms(runs[0])[1].dropped = true;
    FkpPage p = packChpxPages(runs).at(0);
    // 9 bytes (the dropped sprm left out): cb at 510 - 9 would be odd, so a fill byte at 510.
    EXPECT_EQ(bytesAt(p, 500, 510),
              (std::vector<uint8_t>{9, 0x35, 0x08, 1, 0x16, 0x68, 0x2F, 0x10, 0x50, 0x00, 0}));
}

TEST(ChpxPacking, EqualRunsShareOneSetWithinAPageOnly) {
    PropertyRuns runs;
    addRun(runs, 2050, {3});
    addRun(runs, 2052, {});  // no properties
    addRun(runs, 2054, {3});
    std::vector<FkpPage> pages = packChpxPages(runs);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].bytes[16], 253);
    EXPECT_EQ(pages[0].bytes[17], 0);
    EXPECT_EQ(pages[0].bytes[18], 253);
    EXPECT_EQ(pages[0].bytes[505], 0);  // nothing written below the first set

    // A set costs 15 bytes with its entry, a run without properties 5: the first page closes
    // after 100 runs, and an equal run on the next page gets its own copy.
    runs.clear();
    addRun(runs, 2050, {3});
    for (int i = 1; i < 101; ++i)
        addRun(runs, 2050 + 2 * i, {});
    addRun(runs, 4000, {3});
    int closed = 0;
    pages = packChpxPages(runs, [&] { ++closed; });
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(pages[0].bytes[511], 100);
    EXPECT_EQ(pages[0].lastFc, 2248u);
    EXPECT_EQ(pages[1].bytes[511], 2);
    EXPECT_EQ(readU32LE(pages[1].bytes, 0), 2248u);
    EXPECT_EQ(readU32LE(pages[1].bytes, 8), 4000u);
    EXPECT_EQ(pages[1].bytes[13], 253);
    EXPECT_EQ(pages[1].bytes[506], 3);
}

TEST(ChpxPacking, RunsBeforeTheTextAreSkipped) {
    PropertyRuns runs = runsOf({{1800, {3}}, {2040, {3}}});
    EXPECT_TRUE(packChpxPages(runs).empty());
    runs = runsOf({{1800, {3}}, {2060, {3}}});
    std::vector<FkpPage> pages = packChpxPages(runs);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].bytes[511], 1);
    EXPECT_EQ(readU32LE(pages[0].bytes, 4), 2060u);
}

TEST(ChpxPacking, OversizedSetLosesItsLastSprms) {
    PropertyRuns runs = runsOf({{2050, {200, 100, 3}}});
    FkpPage p = packChpxPages(runs).at(0);
    EXPECT_FALSE(runs.sprms(runs[0])[0].dropped);
    EXPECT_TRUE(runs.sprms(runs[0])[1].dropped);
    EXPECT_TRUE(runs.sprms(runs[0])[2].dropped);
    EXPECT_EQ(p.bytes[2 * p.bytes[8]], 200);
}

TEST(PapxPacking, EvenSetsStartWithAZeroByte) {
    PropertyRuns runs = runsOf({{2050, {6}, 0xA1}, {2060, {4}, 0xB2}});
    runs[0].phe.fill(0x11);
    runs[1].phe.fill(0x22);
    FkpPage p = packPapxPages(runs).at(0);
    EXPECT_EQ(p.bytes[510], 0);
    EXPECT_EQ(bytesAt(p, 502, 509),
              (std::vector<uint8_t>{0, 3, 0xA1, 0xA1, 0xA1, 0xA1, 0xA1, 0xA1}));
    EXPECT_EQ(bytesAt(p, 496, 501), (std::vector<uint8_t>{0, 2, 0xB2, 0xB2, 0xB2, 0xB2}));
    // rgfc 1536, 2050, 2060; BX entries: offset byte and PHE.
    EXPECT_EQ(readU32LE(p.bytes, 8), 2060u);
    EXPECT_EQ(p.bytes[12], 251);
    EXPECT_EQ(bytesAt(p, 13, 24), std::vector<uint8_t>(12, 0x11));
    EXPECT_EQ(p.bytes[25], 248);
    EXPECT_EQ(bytesAt(p, 26, 37), std::vector<uint8_t>(12, 0x22));
    EXPECT_EQ(p.bytes[511], 2);
}

TEST(PapxPacking, OddSetsUseTheWordCountWithAnUnusedLastByte) {
    // A reader takes 2 * cb - 1 bytes after a non-zero cb: exactly the 3 property bytes.
    PropertyRuns runs = runsOf({{2050, {3}, 0xA1}, {2060, {5}, 0xB2}});
    FkpPage p = packPapxPages(runs).at(0);
    EXPECT_EQ(bytesAt(p, 506, 510), (std::vector<uint8_t>{2, 0xA1, 0xA1, 0xA1, 0}));
    EXPECT_EQ(p.bytes[12], 253);
    EXPECT_EQ(bytesAt(p, 500, 505), (std::vector<uint8_t>{3, 0xB2, 0xB2, 0xB2, 0xB2, 0xB2}));
    EXPECT_EQ(p.bytes[25], 250);
}

// Decodes every entry of a page and checks that no property set reaches into the run
// entries at the front and that every set lies inside the page.
void expectSoundPage(const FkpPage& p, bool paragraph) {
    const int crun = p.bytes[511];
    const int frontEnd = 4 * (crun + 1) + (paragraph ? 13 : 1) * crun;
    for (int i = 0; i < crun; ++i) {
        const int offset = p.bytes[4 * (crun + 1) + (paragraph ? 13 : 1) * i];
        if (offset == 0)
            continue;
        ASSERT_GE(2 * offset, frontEnd) << "run " << i << " of " << crun;
        int len = p.bytes[2 * offset];
        if (paragraph)
            len = len == 0 ? 1 + 2 * p.bytes[2 * offset + 1] : 2 * len - 1;
        ASSERT_LE(2 * offset + len, 510);
    }
}

TEST(FkpPacking, PagesNeverOverlapForAnyMixOfSizes) {
    for (uint32_t seed = 1; seed < 60; ++seed) {
        PropertyRuns chp, pap;
        uint32_t x = seed;
        for (int i = 0; i < 300; ++i) {
            x = x * 1103515245 + 12345;
            const uint32_t size = 2 + (x >> 16) % 40;
            const uint8_t tag = static_cast<uint8_t>((x >> 8) % 5);
            addRun(chp, 2050 + 2 * i, {size + 1}, tag);
            addRun(pap, 2050 + 2 * i, {2, size}, tag);
        }
        for (const FkpPage& p : packChpxPages(chp))
            expectSoundPage(p, false);
        for (const FkpPage& p : packPapxPages(pap))
            expectSoundPage(p, true);
    }
}

}  // namespace
}  // namespace morvel
