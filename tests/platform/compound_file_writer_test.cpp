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

// Writes that overlap the end, run past it, or follow a seek beyond it give the bytes of a
// buffer written one byte at a time.
TEST(CompoundStream, WritesOverAndPastTheEndAsAPlainBuffer) {
    struct Step {
        uint32_t seek;
        uint32_t zeros;    // a run of zeros when nonzero, else
        const char* text;  // these bytes
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"overlapping the end", {{0, 0, "abcdef"}, {4, 0, "XYZW"}}},
        {"inside", {{0, 0, "abcdef"}, {1, 0, "QR"}}},
        {"after a gap", {{0, 0, "ab"}, {5, 0, "cd"}}},
        {"zeros over the end", {{0, 0, "abcdef"}, {3, 5, ""}}},
        {"zeros inside", {{0, 0, "abcdef"}, {1, 2, ""}}},
        {"zeros after a gap", {{0, 0, "ab"}, {4, 3, ""}, {8, 0, "z"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CompoundStream s(u"x");
        s.reserve(3);  // room ahead changes nothing
        std::vector<uint8_t> model;
        for (const Step& step : c.steps) {
            s.seek(step.seek);
            const std::vector<uint8_t> data =
                step.zeros ? std::vector<uint8_t>(step.zeros, 0) : test::bytesOf(step.text);
            const uint32_t n = step.zeros ? s.writeZeros(step.zeros) : s.write(data);
            EXPECT_EQ(n, data.size());
            if (model.size() < step.seek + data.size())
                model.resize(step.seek + data.size(), 0);
            std::copy(data.begin(), data.end(), model.begin() + step.seek);
            EXPECT_EQ(s.position(), step.seek + data.size());
        }
        EXPECT_EQ(s.bytes(), model);
    }
    CompoundStream s(u"x");
    s.write(test::bytesOf("abc"));
    EXPECT_EQ(s.takeBytes(), test::bytesOf("abc"));
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.position(), 0u);
}

// Making the file from the streams' own buffers gives the bytes of the copying serialiser,
// whichever stream is largest and wherever it lies; with room reserved for the whole file the
// largest stream's buffer becomes the file without a copy.
TEST(CompoundFileWriter, TakingTheStreamsGivesTheSameFile) {
    struct Case {
        const char* what;
        std::vector<test::CfbStream> streams;
        int roomFor = -1;  // the stream given room for the whole file, if any
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"mini streams only",
         {{"A", test::fillerBytes(100, 1)}, {"B", test::fillerBytes(4095, 2)}}},
        {"largest last in sector order",
         {{"Data", test::fillerBytes(5000, 3)},
          {"1Table", test::fillerBytes(9000, 4)},
          {"WordDocument", test::fillerBytes(70001, 5)},
          {"x", test::fillerBytes(10, 6)}},
         2},
        {"largest without room",
         {{"Data", test::fillerBytes(5000, 3)}, {"WordDocument", test::fillerBytes(70001, 5)}}},
        {"largest first",
         {{"Big", test::fillerBytes(300000, 7)},
          {"LongerName", test::fillerBytes(4096, 8)},
          {"Store/Inner", test::fillerBytes(6000, 9)}},
         0},
        {"with a DIFAT",
         {{"A", test::fillerBytes(5000, 10)}, {"Huge", test::fillerBytes(7'300'000, 11)}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto build = [&](CompoundFileWriter& w, bool room) {
            w.root().setClass(kWordDocumentClassId);
            const uint8_t* roomData = nullptr;
            for (size_t i = 0; i < c.streams.size(); ++i) {
                const test::CfbStream& st = c.streams[i];
                CompoundStorage* storage = &w.root();
                std::string name = st.path;
                if (const size_t slash = name.find('/'); slash != std::string::npos) {
                    storage = &storage->createStorage(std::string_view(name).substr(0, slash));
                    name.erase(0, slash + 1);
                }
                CompoundStream& s = storage->createStream(std::string_view(name));
                if (room && static_cast<int>(i) == c.roomFor) {
                    uint64_t rest = 0;
                    for (size_t k = i; k < c.streams.size(); ++k)
                        rest += c.streams[k].bytes.size();
                    s.reserve(compoundFileSizeBound(w.root(), rest, c.streams.size() - i));
                    roomData = s.bytes().data();
                }
                s.write(st.bytes);
            }
            return roomData;
        };
        CompoundFileWriter copied;
        build(copied, false);
        const std::vector<uint8_t> expected = copied.serialize();
        EXPECT_LE(expected.size(), compoundFileSizeBound(copied.root(), 0, 0));

        CompoundFileWriter taken;
        const uint8_t* roomData = build(taken, true);
        const std::vector<uint8_t> file = taken.serializeTakingStreams();
        EXPECT_EQ(file, expected);
        if (roomData) {
            EXPECT_EQ(file.data(), roomData);  // made in place, not copied
        }
        for (const auto& child : taken.root().children()) {
            if (child.stream) {
                EXPECT_EQ(child.stream->size(), 0u);
            }
        }
    }
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
