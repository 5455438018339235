#include "docx/package_part_reader.h"

#include <gtest/gtest.h>

#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

TEST(PackagePartReader, FindsIntactPartsOnly) {
    const std::string xml =
        "<w:document><w:body><w:p><w:r><w:t>Body</w:t></w:r></w:p>"
        "</w:body></w:document>";
    test::ZipBuilder builder;
    builder.add("[Content_Types].xml", "<Types/>", 0);
    builder.add("word/document.xml", xml);
    const std::vector<uint8_t> zip = builder.finish();
    auto part = readPackagePart(zip, "word/document.xml");
    ASSERT_TRUE(part);
    EXPECT_EQ(std::string(part->begin(), part->end()), xml);
    EXPECT_FALSE(readPackagePart(zip, "word/styles.xml"));

    // Without its central directory the part is still found through its local header.
    std::vector<uint8_t> cut(zip.begin(), zip.begin() + static_cast<long>(zip.size()) - 60);
    EXPECT_TRUE(readPackagePart(cut, "word/document.xml"));

    // A flipped byte of the stored part fails its CRC; a size beyond the limit is refused.
    std::vector<uint8_t> flipped = zip;
    flipped[30 + 19 + 2] ^= 0x20;
    EXPECT_FALSE(readPackagePart(flipped, "[Content_Types].xml"));
    EXPECT_FALSE(readPackagePart(zip, "word/document.xml", xml.size() - 1));
}

}  // namespace
}  // namespace morvel
