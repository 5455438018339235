#include <gtest/gtest.h>

#include <map>

#include "doc/c_doc8.h"
#include "doc/doc_salvage.h"
#include "doc/fib_layout.h"
#include "docwriter/doc8_writer.h"
#include "docwriter/recover_doc_file.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

using test::Word97Builder;

// A reader that has read the builder's document, and the file its writer builds.
struct Written {
    DocContext ctx;
    std::unique_ptr<CDoc8> doc;
    std::unique_ptr<Doc8Writer> writer;
    CompoundFileWriter out;

    const std::vector<uint8_t>& stream(std::u16string_view name) const {
        CompoundStream* s = out.root().findStream(name);
        EXPECT_NE(s, nullptr) << std::string(name.begin(), name.end());
        static const std::vector<uint8_t> none;
        return s ? s->bytes() : none;
    }
    uint32_t fibU32(uint32_t at) const { return readU32LE(stream(u"WordDocument"), at); }
};

std::unique_ptr<Written> write(Word97Builder& b, void (*tweak)(CDoc8&) = nullptr) {
    auto w = std::make_unique<Written>();
    w->doc = std::make_unique<CDoc8>(b.build(), w->ctx);
    EXPECT_EQ(w->doc->ReadDocument(0), 8);
    if (tweak)
        tweak(*w->doc);
    w->writer = std::make_unique<Doc8Writer>(*w->doc, nullptr);
    w->writer->build(w->out);
    return w;
}

TEST(Word97Writer, FibAndStreamLayoutOfAShortDocument) {
    Word97Builder b;
    auto w = write(b);
    const std::vector<uint8_t>& wd = w->stream(u"WordDocument");
    EXPECT_EQ(readU16LE(wd, 0), 0xA5EC);
    EXPECT_EQ(readU16LE(wd, 2), 193);
    EXPECT_EQ(readU16LE(wd, 10), 0x1208);
    EXPECT_EQ(w->fibU32(fib::kFcMin), 1536u);
    EXPECT_EQ(w->fibU32(fib::kFcMac), 2048u + 24);
    EXPECT_EQ(w->fibU32(fib::kCcpText), 12u);
    EXPECT_EQ(w->fibU32(fib::kPnFbpChpFirst), 0xFFFFFu);
    EXPECT_EQ(readU16LE(wd, 0x98), 136);
    EXPECT_EQ(w->fibU32(fib::kNFibNew), 0x01010002u);
    EXPECT_EQ(w->fibU32(fib::kCbMac), wd.size() + 1);
    // Text at 2048, the property pages from page 5, then the section properties.
    EXPECT_EQ(readU16LE(wd, 2048), 'H');
    EXPECT_EQ(readU32LE(wd, 5 * 512 + 4), 2048u + 24);  // the character page's first run end
    EXPECT_EQ(readU16LE(wd, 7 * 512), 3);               // the SEPX count
    EXPECT_EQ(wd.size(), 7u * 512 + 5);
    EXPECT_EQ(w->stream(u"1Table").size(), 4096u);
    EXPECT_NE(w->out.root().findStream(u"\005SummaryInformation"), nullptr);
    EXPECT_EQ(w->out.root().findStream(u"Data"), nullptr);
    EXPECT_EQ(w->out.root().classId(), kWordDocumentClassId);
}

TEST(Word97Writer, FirstPropertyPageFollowsTheText) {
    struct Case {
        size_t textBytes;
        uint32_t page;
    } cases[] = {{10, 5}, {1000, 6}, {1022, 6}, {1024, 7}};
    for (const Case& c : cases) {
        Word97Builder b;
        b.text = std::u16string(c.textBytes / 2, u'a');
        auto w = write(b);
        EXPECT_EQ(w->writer->firstPropertyPage(), c.page) << c.textBytes;
        EXPECT_EQ(readU32LE(w->stream(u"1Table"), w->fibU32(fib::kPlcfBteChpx) + 8), c.page);
    }
}

TEST(Word97Writer, PieceTableAndBinTables) {
    Word97Builder b;
    b.text = std::u16string(15, u'x');
    auto w = write(b, [](CDoc8& doc) {
        doc.pieces = {Piece{0, 10, true, 0x11, 0, 0}, Piece{0, 0, false, 0x22, 0, 0},
                      Piece{0, 5, true, 0x33, 0, 0}};
    });
    const std::vector<uint8_t>& tbl = w->stream(u"1Table");
    const uint32_t fcClx = w->fibU32(fib::kClx);
    EXPECT_EQ(w->fibU32(fib::kClx + 4), 45u);
    EXPECT_EQ(tbl[fcClx], 2);
    EXPECT_EQ(readU32LE(tbl, fcClx + 1), 40u);
    const uint32_t cps[] = {0, 10, 10, 15};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(readU32LE(tbl, fcClx + 5 + 4 * i), cps[i]);
    const uint32_t fcs[] = {2048, 2068, 2068};
    const uint16_t prms[] = {0x11, 0x22, 0x33};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(readU32LE(tbl, fcClx + 21 + 8 * i + 2), fcs[i]);
        EXPECT_EQ(readU16LE(tbl, fcClx + 21 + 8 * i + 6), prms[i]);
    }
    // One page of each kind: FC 2048, the page's last FC, its page number.
    const uint32_t p0 = w->writer->firstPropertyPage();
    const uint32_t chp = w->fibU32(fib::kPlcfBteChpx), pap = w->fibU32(fib::kPlcfBtePapx);
    EXPECT_EQ(chp, 374u);
    EXPECT_EQ(w->fibU32(fib::kPlcfBteChpx + 4), 12u);
    EXPECT_EQ(readU32LE(tbl, chp), 2048u);
    EXPECT_EQ(readU32LE(tbl, chp + 4), 2048u + 30);
    EXPECT_EQ(readU32LE(tbl, chp + 8), p0);
    EXPECT_EQ(pap, 386u);
    EXPECT_EQ(readU32LE(tbl, pap + 4), 2048u + 30);
    EXPECT_EQ(readU32LE(tbl, pap + 8), p0 + 1);
    EXPECT_EQ(fcClx, 402u);
}

TEST(Word97Writer, TablesFollowTheStyleSheet) {
    for (size_t stsh : {100u, 400u}) {
        Word97Builder b;
        b.stsh.assign(stsh, 0x5A);
        auto w = write(b);
        const uint32_t expected = stsh < 318 ? 318 : static_cast<uint32_t>(stsh);
        EXPECT_EQ(w->fibU32(fib::kPlcffndTxt), expected) << stsh;
        EXPECT_EQ(w->fibU32(fib::kStshf + 4), stsh);
        EXPECT_EQ(w->fibU32(fib::kStshfOrig + 4), stsh);
        // The Dop is copied whole at the position the FIB names.
        const uint32_t dop = w->fibU32(fib::kDop);
        ASSERT_EQ(w->fibU32(fib::kDop + 4), b.dop.size());
        EXPECT_EQ(std::vector<uint8_t>(w->stream(u"1Table").begin() + dop,
                                       w->stream(u"1Table").begin() + dop + b.dop.size()),
                  b.dop);
    }
}

TEST(Word97Writer, SectionPropertiesAndTheirTable) {
    // The source's SEPX lies right after its pages (before the end of ours: text of 600
    // characters pushes our pages further), or far beyond them.
    for (bool far : {false, true}) {
        Word97Builder b;
        b.text = std::u16string(far ? 10 : 600, u'a');
        b.sections = {{0x03, 0x30, 0x01}, {0x05, 0x30, 0x02, 0x07}};
        if (far)
            b.sepxFrom = 4000;
        auto w = write(b);
        const std::vector<uint8_t>& wd = w->stream(u"WordDocument");
        const std::vector<uint8_t>& tbl = w->stream(u"1Table");
        const uint32_t sed = w->fibU32(fib::kPlcfSed);
        const uint32_t first = readU32LE(tbl, sed + 12 + 2);
        const uint32_t second = readU32LE(tbl, sed + 12 + 12 + 2);
        const uint32_t pagesEnd = (w->writer->firstPropertyPage() + 2) * 512;
        EXPECT_EQ(first, far ? 4000u : pagesEnd) << far;
        EXPECT_EQ(second, first + 5);
        EXPECT_EQ(readU16LE(wd, first), 3);
        EXPECT_EQ(readU16LE(wd, second), 4);
        EXPECT_EQ(wd[second + 5], 0x07);
    }
}

TEST(Word97Writer, DataBlocksAndCompObjCopies) {
    Word97Builder b;
    b.text = u"\x01x";
    std::vector<uint8_t> data(300, 0);
    writeU32LE(data, 100, 40);
    data[130] = 0xFF, data[131] = 0xD8, data[132] = 0xFF;
    b.data = data;
    std::vector<uint8_t> pic = {0x03, 0x6A, 100, 0, 0, 0, 0x55, 0x08, 0x01};
    b.chpPages = {{{b.endOf(0), pic}, {b.endOf(1), {}}}};
    const std::vector<uint8_t> file = b.buildFile();
    DocContext ctx;
    std::vector<uint8_t> out;
    ASSERT_EQ(RecoverDocFile(file, out, ctx).code, kRecoverDocWritten);
    // Read the result back through our own salvage and reader.
    DocContext again;
    RecoverDocFindings f;
    std::vector<uint8_t> twice;
    EXPECT_EQ(RecoverDocFile(out, twice, again, &f).code, kRecoverDocWritten);
    EXPECT_EQ(f.dataBlocks, 1u);
    EXPECT_EQ(f.pictureRuns, 1u);
    EXPECT_EQ(f.picturesDropped, 0u);
    EXPECT_EQ(f.textBytes, 4u);
}

TEST(Word97Writer, MacrosAndObjectPoolAreCopiedWithWhatTheyHold) {
    Word97Builder b;
    b.extraStreams = {{"MsoDataStore/A/Item", {1, 2, 3}},
                      {"ObjectPool/_1/Ole10Native", std::vector<uint8_t>(5000, 0x42)},
                      {"ObjectPool/_1/Inner/Deep", {7}},
                      {"Macros/VBA/dir", {9, 9}}};
    DocContext ctx;
    std::vector<uint8_t> out;
    ASSERT_EQ(RecoverDocFile(b.buildFile(), out, ctx).code, kRecoverDocWritten);
    DocContext again;
    DocSalvage s = SalvageDocFile(out, again);  // refers to `out`
    ASSERT_TRUE(s.storage);
    std::map<std::string, std::vector<uint8_t>> streams;  // by name path
    std::vector<std::string> open;
    for (const WalkStep& step : s.storage->traversal) {
        open.resize(static_cast<size_t>(step.depth));
        const CStreamEntry& e = s.storage->entries[static_cast<size_t>(step.entry)];
        std::string path;
        for (const std::string& o : open)
            path += o + "/";
        path += e.name;
        if (e.type == 1)
            open.push_back(e.name);
        else
            streams[path] = s.storage->ReadWholeStream(e);
    }
    EXPECT_EQ(streams["ObjectPool/_1/Ole10Native"], std::vector<uint8_t>(5000, 0x42));
    EXPECT_EQ(streams["ObjectPool/_1/Inner/Deep"], std::vector<uint8_t>{7});
    EXPECT_EQ(streams["Macros/VBA/dir"], (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(streams.count("Macros/A/Item"), 0u);
    EXPECT_EQ(streams.count("MsoDataStore/A/Item"), 0u);
    EXPECT_EQ(streams["\001CompObj"].size(), 4096u);  // copied and filled to 4096 bytes
}

TEST(RecoverDocFile, ResultCodes) {
    std::vector<uint8_t> out;
    auto run = [&](const std::vector<uint8_t>& image) {
        DocContext ctx;
        out.assign(3, 0xEE);  // whatever was there before is never offered
        return RecoverDocFile(image, out, ctx).code;
    };
    Word97Builder b;
    EXPECT_EQ(run(b.buildFile()), kRecoverDocWritten);
    EXPECT_GT(out.size(), 512u);

    std::vector<uint8_t> file = b.buildFile();
    std::vector<uint8_t> headerless = file;
    std::fill(headerless.begin(), headerless.begin() + 512, 0);
    EXPECT_EQ(run(headerless), kRecoverDocWritten);

    Word97Builder textOnly;
    textOnly.pairCount = 0;
    EXPECT_EQ(run(textOnly.buildFile()), kRecoverDocTextOnly);
    EXPECT_GT(out.size(), 512u);

    // A wiped FIB: the text is kept in a plain document.
    Word97Builder wiped;
    std::vector<uint8_t> wipedFile = wiped.buildFile();
    const std::vector<uint8_t> wordDocument = wiped.build().wordDocument;
    const std::vector<uint8_t> fibStart(wordDocument.begin(), wordDocument.begin() + 64);
    auto at = std::search(wipedFile.begin(), wipedFile.end(), fibStart.begin(), fibStart.end());
    ASSERT_NE(at, wipedFile.end());
    std::fill(at, at + 512, 0);
    EXPECT_EQ(run(wipedFile), kRecoverDocTextOnly);

    EXPECT_EQ(run(std::vector<uint8_t>(file.begin(), file.begin() + 899)), kRecoverDocFailed);
    Word97Builder noTable;
    noTable.table0 = true;  // the table-stream flag names "1Table", which is missing
    EXPECT_EQ(run(noTable.buildFile()), kRecoverDocFailed);

    // Both table streams lost (cut off with the end of the file): the text is kept.
    Word97Builder tablesLost;
    tablesLost.withTable = false;
    EXPECT_EQ(run(tablesLost.buildFile()), kRecoverDocTextOnly);
    EXPECT_GT(out.size(), 512u);
    // ... unless it holds no letter or digit: then nothing is offered.
    tablesLost.text = u"\r\x0007 \r";
    EXPECT_EQ(run(tablesLost.buildFile()), kRecoverDocFailed);
    EXPECT_TRUE(out.empty());

    std::vector<uint8_t> rtf = test::bytesOf("{\\rtx1\\ansi");
    rtf.resize(1000, ' ');
    EXPECT_EQ(run(rtf), kRecoverDocRtf);

    // A Word 95 document: its text as a plain document; without a readable letter, refused.
    Word97Builder word95;
    word95.nFib = 104;
    EXPECT_EQ(run(word95.buildFile()), kRecoverDocTextOnly);
    EXPECT_GT(out.size(), 512u);
    word95.text = u"\r\x0007 \r";
    EXPECT_EQ(run(word95.buildFile()), kRecoverDocNotWord97);
    EXPECT_TRUE(out.empty());

    EXPECT_EQ(run(test::buildCompoundFile({{"Workbook", test::fillerBytes(5000, 3)}})),
              kRecoverDocExcel);

    // No header, one FAT sector, and far more sectors than it can describe.
    std::vector<uint8_t> grown = headerless;
    const std::vector<uint8_t> filler = test::fillerBytes(300 * 512, 9);
    grown.insert(grown.end(), filler.begin(), filler.end());
    EXPECT_EQ(run(grown), kRecoverDocSalvageThrew);
}

// Each result carries its source and a message that says why; only a document that was built
// comes back with bytes.
TEST(RecoverDocFile, ResultsSayWhy) {
    Word97Builder b;
    const std::vector<uint8_t> file = b.buildFile();
    Word97Builder word95;
    word95.nFib = 104;
    Word97Builder blank95 = word95;
    blank95.text = u"\r\x0007 \r";
    Word97Builder blank;
    blank.withTable = false;
    blank.text = u"\r\x0007 \r";
    std::vector<uint8_t> rtf = test::bytesOf("{\\rtf1\\ansi");
    rtf.resize(1000, ' ');
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        int32_t code;
        const char* message;
    } cases[] = {
        {"intact", file, kRecoverDocWritten, "read and written"},
        {"short", std::vector<uint8_t>(file.begin(), file.begin() + 899), kRecoverDocFailed,
         "too short"},
        {"no sector table", std::vector<uint8_t>(4000, 0), kRecoverDocFailed, "sector table"},
        {"no words", blank.buildFile(), kRecoverDocFailed, "nothing readable"},
        {"Word 95", word95.buildFile(), kRecoverDocTextOnly, "Word 6.0/95"},
        {"Word 95 without words", blank95.buildFile(), kRecoverDocNotWord97, "no readable text"},
        {"RTF", rtf, kRecoverDocRtf, "RTF"},
        {"workbook", test::buildCompoundFile({{"Workbook", test::fillerBytes(5000, 3)}}),
         kRecoverDocExcel, "Excel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DocContext ctx;
        std::vector<uint8_t> out;
        const RecoveryResult r = RecoverDocFile(c.image, out, ctx);
        EXPECT_EQ(r.source, kRecoverDocSource);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
        EXPECT_EQ(out.empty(), c.code != kRecoverDocWritten && c.code != kRecoverDocTextOnly);
    }
}

// A document in a version 4 container (4096-byte sectors) is recovered into the same document
// as its version 3 twin, header lost or not; what we write stays a version 3 file.
TEST(RecoverDocFile, Version4ContainerGivesTheSameDocument) {
    Word97Builder b;
    b.text = std::u16string(3000, u'v') + u"\r";  // the WordDocument stream in regular sectors
    const std::vector<uint8_t> v3 = b.buildFile();
    b.version4 = true;
    std::vector<uint8_t> v4 = b.buildFile();
    std::vector<uint8_t> v4Headerless = v4;
    std::fill(v4Headerless.begin(), v4Headerless.begin() + 512, 0);
    auto recover = [&](const std::vector<uint8_t>& image, const char* name) {
        DocContext ctx;
        std::vector<uint8_t> out;
        EXPECT_EQ(RecoverDocFile(image, out, ctx).code, kRecoverDocWritten) << name;
        return out;
    };
    const std::vector<uint8_t> expected = recover(v3, "v3.doc");
    EXPECT_EQ(recover(v4, "v4.doc"), expected);
    EXPECT_EQ(recover(v4Headerless, "v4-headerless.doc"), expected);
    ASSERT_GT(expected.size(), 512u);
    EXPECT_EQ(readU16LE(expected, 26), 3);  // major version
    EXPECT_EQ(readU16LE(expected, 30), 9);  // 512-byte sectors
}

}  // namespace
}  // namespace morvel
