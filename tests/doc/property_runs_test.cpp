#include "doc/property_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace morvel {
namespace {

std::vector<uint8_t> operandOf(const PropertyRuns& runs, const SprmRecord& s) {
    const auto bytes = runs.operand(s);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Runs keep their own sprms and operand bytes when the run list is reordered and cut, as the
// reader does when it sorts runs by output position and drops those beyond the text.
TEST(PropertyRuns, SprmsStayWithTheirRunThroughSortingAndCutting) {
    PropertyRuns runs;
    runs.add(30).outputPos = 300;
    runs.addSprmU8(0x0835, 1);
    runs.add(10).outputPos = 100;  // no sprms
    runs.add(20).outputPos = 200;
    runs.addSprm(0xC601, std::vector<uint8_t>{3, 7, 8, 9});
    runs.addSprmU32(0x6816, 0x0050102F);
    std::stable_sort(runs.begin(), runs.end(),
                     [](const PropertyRun& a, const PropertyRun& b) { return a.fc < b.fc; });
    runs.list().resize(2);
    runs.add(40).outputPos = 400;  // added after the cut: its sprms follow the others
    runs.addSprmU8(0x0836, 0x81);

    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs.sprms(runs[0]).empty());
    ASSERT_EQ(runs.sprms(runs[1]).size(), 2u);
    EXPECT_EQ(runs.sprms(runs[1])[0].size, 6u);
    EXPECT_EQ(operandOf(runs, runs.sprms(runs[1])[0]), (std::vector<uint8_t>{3, 7, 8, 9}));
    EXPECT_EQ(runs.operandU32(*runs.find(runs[1], 0x6816)), 0x0050102Fu);
    ASSERT_EQ(runs.sprms(runs[2]).size(), 1u);
    EXPECT_EQ(operandOf(runs, runs.sprms(runs[2])[0]), (std::vector<uint8_t>{0x81}));
    EXPECT_FALSE(runs.has(runs[2], 0x0835));
}

TEST(PropertyRuns, OperandsAreReadAndPatchedWithinTheirOwnBytes) {
    PropertyRuns runs;
    runs.add(1);
    runs.addSprm(0x2A0C, std::vector<uint8_t>{0xAA});  // one operand byte
    runs.addSprmU32(0x6A03, 0x11223344);
    const SprmRecord& shortOne = runs.sprms(runs[0])[0];
    const SprmRecord& wide = runs.sprms(runs[0])[1];
    EXPECT_EQ(runs.operandU32(shortOne), 0xAAu);
    // Patching a one-byte operand writes that byte only, never its neighbour's bytes.
    runs.setOperandU32(shortOne, 0xDDCCBBEE);
    EXPECT_EQ(operandOf(runs, shortOne), (std::vector<uint8_t>{0xEE}));
    EXPECT_EQ(runs.operandU32(wide), 0x11223344u);
    runs.setOperandU32(wide, 8);
    EXPECT_EQ(operandOf(runs, wide), (std::vector<uint8_t>{8, 0, 0, 0}));
}

TEST(PropertyRuns, EqualPropertiesNeedEqualOpcodesOperandsAndNothingDropped) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint16_t, std::vector<uint8_t>>> a, b;
        bool dropInA;
        bool same;
    } cases[] = {
        {"same sprms",
         {{0x0835, {1}}, {0x4A43, {20, 0}}},
         {{0x0835, {1}}, {0x4A43, {20, 0}}},
         false,
         true},
        {"no sprms", {}, {}, false, true},
        {"operand differs", {{0x0835, {1}}}, {{0x0835, {0}}}, false, false},
        {"operand length differs", {{0xC601, {1}}}, {{0xC601, {1, 0}}}, false, false},
        {"opcode differs", {{0x0835, {1}}}, {{0x0836, {1}}}, false, false},
        {"one more sprm", {{0x0835, {1}}}, {{0x0835, {1}}, {0x0836, {1}}}, false, false},
        {"a dropped sprm", {{0x0835, {1}}}, {{0x0835, {1}}}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PropertyRuns runs;
        runs.add(1);
        for (const auto& [op, bytes] : c.a)
            runs.addSprm(op, bytes);
        runs.add(2);
        for (const auto& [op, bytes] : c.b)
            runs.addSprm(op, bytes);
        if (c.dropInA)
            runs.sprms(runs[0])[0].dropped = true;
        EXPECT_EQ(runs.sameProperties(runs[0], runs[1]), c.same);
        EXPECT_EQ(runs.sameProperties(runs[1], runs[0]), c.same);
    }
}

TEST(PropertyRuns, ByteCountLeavesOutDroppedAndRemovedSprms) {
    PropertyRuns runs;
    PropertyRun& run = runs.add(1);
    runs.addSprmU8(0x0835, 1);   // 3 bytes
    runs.addSprmU32(0x6816, 0);  // 6 bytes
    runs.addSprm(0x0000, {});    // 2 bytes
    runs.sprms(run)[1].dropped = true;
    EXPECT_EQ(runs.byteCount(run), 5u);
    EXPECT_EQ(runs.byteCount(run, false), 11u);
    runs.dropLastSprm(run);
    EXPECT_EQ(runs.byteCount(run, false), 9u);
    EXPECT_EQ(runs.sprms(run).size(), 2u);
}

}  // namespace
}  // namespace morvel
