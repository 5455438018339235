#include <gtest/gtest.h>

#include <functional>

#include "docx/template_store_writer.h"
#include "docx/uni_data_store_package.h"
#include "platform/le_reader.h"

namespace morvel {
namespace {

std::vector<uint8_t> sampleStore() {
    return buildTemplateStore({{"first", {1, 2, 3}}, {"second", {4, 5}}}, "a scrambled note", 5489);
}

// Fixes the payload check value after a test has edited the payload on purpose.
void reseal(std::vector<uint8_t>& s) {
    writeU32LE(s, 8,
               storeCheckValue(ByteSpan(s.data() + 20, static_cast<uint32_t>(s.size() - 20))));
}

TEST(UniDataStorePackage, LoadsPackagesInOrderPastOtherSubRecords) {
    std::vector<uint8_t> s = sampleStore();
    UniDataStorePackage store;
    ASSERT_EQ(store.Load(s.data(), static_cast<uint32_t>(s.size())), kStoreLoaded);
    ASSERT_EQ(store.PackageCount(), 2u);
    EXPECT_EQ(store.PackageName(0).view(), "first");
    EXPECT_EQ(store.PackageData(0).view(), std::string("\1\2\3"));
    EXPECT_EQ(store.PackageName(1).view(), "second");
    EXPECT_EQ(store.PackageData(1).view(), std::string("\4\5"));
    EXPECT_TRUE(store.PackageData(2).absent());
}

TEST(UniDataStorePackage, ScrambleIsTheMersenneTwisterKeystream) {
    // The first output of MT19937 seeded with 5489 is 3499211612 (0xD091BB5C).
    std::vector<uint8_t> zeros(5, 0);
    scrambleStoreData(zeros.data(), 5, 5489);
    EXPECT_EQ(readU32LE(zeros, 0), 0xD091BB5Cu);
    EXPECT_EQ(storeCheckValue(spanOf("123456789")), ~0xCBF43926u);
}

TEST(UniDataStorePackage, DamageGivesItsCode) {
    // Offsets: header 20, scrambled head 20 + note 16, directory head 20, sub-records.
    const size_t scrambledHead = 20, directoryHead = 20 + 20 + 16;
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        StoreLoadResult code;
    } cases[] = {
        {"shorter than a header", [](auto& s) { s.resize(19); }, kStoreTooShort},
        {"one byte appended", [](auto& s) { s.push_back(0); }, kStoreWrongMagic},
        {"wrong magic", [](auto& s) { s[0] ^= 1; }, kStoreWrongMagic},
        {"flipped payload bit", [](auto& s) { s[s.size() - 1] ^= 0x10; }, kStoreWrongCheckValue},
        {"altered seed", [&](auto& s) { s[scrambledHead + 12] ^= 1, reseal(s); },
         kStoreWrongScrambledCheck},
        {"more sub-records than the file holds",
         [&](auto& s) { writeU32LE(s, directoryHead + 12, 50), reseal(s); }, kStoreDamaged},
        {"sub-record running past the end",
         [&](auto& s) { writeU32LE(s, directoryHead + 20 + 4, 0x7FFFFFF0), reseal(s); },
         kStoreDamaged},
        {"sub-record tag without the mark",
         [&](auto& s) { writeU32LE(s, directoryHead + 20, 0x12345678), reseal(s); }, kStoreDamaged},
        {"no directory: loads with no packages",
         [&](auto& s) { writeU32LE(s, directoryHead, 0x11110000), reseal(s); }, kStoreLoaded},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> s = sampleStore();
        c.damage(s);
        UniDataStorePackage store;
        EXPECT_EQ(store.Load(s.data(), static_cast<uint32_t>(s.size())), c.code) << c.what;
        EXPECT_EQ(store.PackageCount(), 0u) << c.what;
    }
}

}  // namespace
}  // namespace morvel
