#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "doc/doc_salvage.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/cli_runner.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

using Bytes = std::vector<uint8_t>;

// A Word 97 document whose WordDocument stream lies in regular sectors and whose table and
// CompObj streams lie in the mini stream.
test::Word97Builder document() {
    test::Word97Builder b;
    b.text.clear();
    for (int i = 0; i < 300; ++i)
        b.text += u"Sector size " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"\r";
    return b;
}

// The streams the salvage hands to the reader, by name.
std::map<std::string, Bytes> streamsOf(const Bytes& file, DocSalvage& s, DocContext& ctx) {
    s = SalvageDocFile(file, ctx);
    std::map<std::string, Bytes> out;
    if (!s.storage)
        return out;
    for (const CStreamEntry& e : s.storage->entries)
        if (e.type == kCfbTypeStream)
            out[e.name] = s.storage->ReadWholeStream(e);
    return out;
}

// Word writes large documents with 4096-byte sectors: such a file reads exactly like its
// 512-byte twin, with its header intact, lost or displaced.
TEST(Version4, ReadsLikeItsVersion3Twin) {
    test::Word97Builder b = document();
    const Bytes v3 = b.buildFile();
    b.version4 = true;
    const Bytes v4 = b.buildFile();
    ASSERT_EQ(readU16LE(v4, 26), 4);
    ASSERT_EQ(readU16LE(v4, 30), 12);
    DocSalvage twin;
    DocContext twinCtx;
    const std::map<std::string, Bytes> expected = streamsOf(v3, twin, twinCtx);
    ASSERT_EQ(twin.result, kSalvageReadable);
    ASSERT_GE(expected.at("WordDocument").size(), 4096u);
    ASSERT_LT(expected.at("1Table").size(), 4096u);

    struct Case {
        const char* what;
        std::function<Bytes(Bytes)> damage;
        bool rebuilt;
    } cases[] = {
        {"intact", [](Bytes f) { return f; }, false},
        {"header zeroed",
         [](Bytes f) {
             std::fill(f.begin(), f.begin() + 512, 0);
             return f;
         },
         true},
        {"header sector zeroed",
         [](Bytes f) {
             std::fill(f.begin(), f.begin() + 4096, 0);
             return f;
         },
         true},
        {"displaced",
         [](Bytes f) {
             Bytes out = test::fillerBytes(700, 5);
             out.insert(out.end(), f.begin(), f.end());
             return out;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DocSalvage s;
        DocContext ctx;
        const std::map<std::string, Bytes> got = streamsOf(c.damage(v4), s, ctx);
        EXPECT_EQ(s.result, kSalvageReadable);
        EXPECT_EQ(s.version, 8);
        ASSERT_TRUE(s.image);
        EXPECT_EQ(s.image->salvaged(), c.rebuilt);
        EXPECT_EQ(s.image->cfb.sectorSize(), 4096);
        EXPECT_EQ(got, expected);
    }
}

// The sector shift decides the sector size only when it names one of the two sizes; any
// other value leaves the 512-byte sectors a version 3 file has.
TEST(Version4, OnlyTheTwoKnownSectorShiftsAreTaken) {
    const Bytes v3 = document().buildFile();
    for (uint16_t shift : {0, 7, 10, 11, 13, 16, 0xFFFF}) {
        SCOPED_TRACE(shift);
        Bytes f = v3;
        writeU16LE(f, 30, shift);
        DocContext ctx;
        DocSalvage s = SalvageDocFile(f, ctx);
        EXPECT_EQ(s.result, kSalvageReadable);
        EXPECT_EQ(s.image->cfb.sectorSize(), 512);
    }
}

TEST(Version4, InspectReportsAWord97Document) {
    test::Word97Builder b = document();
    b.version4 = true;
    Bytes zeroed = b.buildFile();
    std::fill(zeroed.begin(), zeroed.begin() + 512, 0);
    test::TempDir dir;
    test::writeFile(dir.path() / "large.doc", b.buildFile());
    test::writeFile(dir.path() / "zeroed.doc", zeroed);
    for (const char* name : {"large.doc", "zeroed.doc"}) {
        SCOPED_TRACE(name);
        const test::CliResult r = test::runProgram(MORVEL_CLI, {"inspect", name}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("\"resultText\":\"readable\""), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"reader\":{\"recoverResult\":1,\"statusCode\":0,\"version\":8"),
                  std::string::npos)
            << r.out;
    }
}

}  // namespace
}  // namespace morvel
