#include "platform/compound_file_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/le_reader.h"
#include "platform/sha256.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

TEST(CompoundStream, WritesSeeksAndPatches) {
    CompoundStream s(u"x");
    EXPECT_EQ(s.write(test::bytesOf("abc")), 3u);
    s.seek(6);  // a gap is zero-filled
    EXPECT_EQ(s.writeU16(0x4241), 2u);
    EXPECT_EQ(s.bytes(), (std::vector<uint8_t>{'a', 'b', 'c', 0, 0, 0, 'A', 'B'}));
    EXPECT_TRUE(s.patchU32(2, 0x04030201));
    EXPECT_EQ(s.position(), 8u);
    EXPECT_FALSE(s.patchU32(5, 0));  // would run past the end
    EXPECT_FALSE(s.patch(9, test::bytesOf("z")));
    EXPECT_EQ(s.bytes(), (std::vector<uint8_t>{'a', 'b', 1, 2, 3, 4, 'A', 'B'}));
}

TEST(CompoundStorage, SameNameInAnyCaseIsTheSameChild) {
    CompoundStorage root(u"Root Entry");
    root.createStream("Data").write(test::bytesOf("old"));
    CompoundStream& again = root.createStream("DATA");
    EXPECT_EQ(again.size(), 0u);  // created again: emptied
    EXPECT_EQ(root.children().size(), 1u);
    root.createStorage("Data");  // a storage replaces the stream
    EXPECT_EQ(root.findStream(u"Data"), nullptr);
    EXPECT_NE(root.findStorage(u"data"), nullptr);
    EXPECT_EQ(root.createStream(std::string(40, 'n')).name().size(), kMaxCompoundNameLength);
}

// What python3-olefile reads from our file: path -> (size, sha256), and the root class.
struct OleView {
    std::map<std::string, std::pair<size_t, std::string>> streams;
    std::string rootClass;
    bool summaryParsed = false;
};

bool readWithOlefile(const std::string& python, const std::filesystem::path& file, OleView& v) {
    const char* script =
        "import hashlib,sys,olefile\n"
        "o=olefile.OleFileIO(sys.argv[1])\n"
        "print('CLSID', o.root.clsid)\n"
        "for p in o.listdir():\n"
        "  d=o.openstream(p).read()\n"
        "  print('S', '/'.join(p).encode('unicode_escape').decode(), len(d),"
        " hashlib.sha256(d).hexdigest())\n"
        "if o.exists('\\x05SummaryInformation'):\n"
        "  o.getproperties('\\x05SummaryInformation'); print('SUMMARY ok')\n";
    std::string out;
    if (test::runCommand(python + " -c " + test::shellQuote(script) + " " +
                             test::shellQuote(file.string()) + " 2>&1",
                         out) != 0) {
        ADD_FAILURE() << out;
        return false;
    }
    std::istringstream lines(out);
    std::string tag;
    while (lines >> tag) {
        if (tag == "CLSID") {
            lines >> v.rootClass;
        } else if (tag == "S") {
            std::string path, sha;
            size_t size;
            lines >> path >> size >> sha;
            v.streams[path] = {size, sha};
        } else if (tag == "SUMMARY") {
            lines >> tag;
            v.summaryParsed = true;
        }
    }
    return true;
}

// Streams on both sides of the mini-stream cutoff, nested storages, a wide directory and a
// FAT long enough to need DIFAT sectors, all read back by an independent reader.
TEST(CompoundFileWriter, OlefileReadsWhatWasWritten) {
    const std::string python = test::pythonWith("olefile");
    if (python.empty())
        GTEST_SKIP() << "python3-olefile is not installed";
    struct Case {
        const char* what;
        std::vector<test::CfbStream> streams;
        bool summary;
    };
    std::vector<test::CfbStream> wide;
    for (int i = 0; i < 23; ++i)
        wide.push_back({"s" + std::to_string(i * 7919 % 1000), test::fillerBytes(i * 37, i)});
    std::vector<Case> cases = {
        {"sizes",
         {{"Empty", {}},
          {"One", test::fillerBytes(1, 1)},
          {"Mini", test::fillerBytes(4095, 2)},
          {"Big", test::fillerBytes(4096, 3)},
          {"Bigger", test::fillerBytes(70001, 4)}},
         true},
        {"storages",
         {{"ObjectPool/_1/\001CompObj", test::fillerBytes(90, 5)},
          {"ObjectPool/_1/Data", test::fillerBytes(5000, 6)},
          {"ObjectPool/_2/x", test::fillerBytes(10, 7)},
          {"Macros/VBA/dir", test::fillerBytes(300, 8)},
          {"WordDocument", test::fillerBytes(9000, 9)}},
         false},
        {"wide", wide, false},
        {"difat", {{"Huge", test::fillerBytes(7'300'000, 10)}}, false},
    };
    test::TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CompoundFileWriter w;
        w.root().setClass(kWordDocumentClassId);
        std::map<std::string, std::pair<size_t, std::string>> expected;
        for (const auto& s : c.streams) {
            CompoundStorage* st = &w.root();
            std::string rest = s.path;
            for (size_t slash; (slash = rest.find('/')) != std::string::npos;) {
                st = &st->createStorage(std::string_view(rest).substr(0, slash));
                rest.erase(0, slash + 1);
            }
            st->createStream(std::string_view(rest)).write(s.bytes);
            std::string shown = s.path;
            if (shown.find('\001') != std::string::npos)
                shown.replace(shown.find('\001'), 1, "\\x01");
            expected[shown] = {s.bytes.size(), sha256Hex(s.bytes)};
        }
        if (c.summary) {
            std::vector<uint8_t> si = emptySummaryInformation();
            w.root().createStream(kSummaryInformationName).write(si);
            expected["\\x05SummaryInformation"] = {si.size(), sha256Hex(si)};
        }
        const std::filesystem::path file = tmp.path() / (std::string(c.what) + ".cfb");
        ASSERT_EQ(w.save(file), "");
        OleView v;
        ASSERT_TRUE(readWithOlefile(python, file, v));
        EXPECT_EQ(v.streams, expected);
        EXPECT_EQ(v.rootClass, "00020906-0000-0000-C000-000000000046");
        EXPECT_EQ(v.summaryParsed, c.summary);
        if (std::string(c.what) == "difat") {
            EXPECT_GT(readU32LE(test::readFile(file), 72), 0u);  // DIFAT sectors in use
        }
    }
}

}  // namespace
}  // namespace morvel
