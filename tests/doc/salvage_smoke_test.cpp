#include <gtest/gtest.h>

#include "doc/doc_salvage.h"
#include "tests/support/cfb_builder.h"

namespace morvel {
namespace {

using test::CfbStream;

TEST(SalvageSmoke, ReadsBackWhatTheWriterWrote) {
    std::vector<uint8_t> word = test::fillerBytes(6000, 1);
    word[2] = 0xC1;  // nFib 193
    word[3] = 0x00;
    std::vector<CfbStream> streams = {{"WordDocument", word},
                                      {"1Table", test::fillerBytes(4096, 2)},
                                      {"Data", test::fillerBytes(100, 3)},
                                      {"ObjectPool/_1/WordDocument", test::fillerBytes(300, 4)}};
    std::vector<uint8_t> file = test::buildCompoundFile(streams);
    for (int zeroHeader = 0; zeroHeader < 2; ++zeroHeader) {
        if (zeroHeader)
            std::fill(file.begin(), file.begin() + 512, 0);
        DocContext ctx;
        DocSalvage s = SalvageDocFile(file, ctx);
        ASSERT_EQ(s.result, kSalvageReadable) << zeroHeader;
        ASSERT_TRUE(s.storage->wordDocument());
        EXPECT_EQ(s.storage->ReadWholeStream(*s.storage->wordDocument()), word);
        EXPECT_EQ(s.storage->ReadWholeStream(*s.storage->table1()), streams[1].bytes);
        EXPECT_EQ(s.storage->ReadWholeStream(*s.storage->data()), streams[2].bytes);
    }
}

}  // namespace
}  // namespace morvel
