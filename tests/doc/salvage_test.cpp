#include "doc/doc_salvage.h"

#include <gtest/gtest.h>

#include <functional>

#include "doc/fib_layout.h"
#include "doc/raw_search.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

using test::CfbStream;
using Bytes = std::vector<uint8_t>;

// A WordDocument stream whose FIB says Word 97 (or another nFib).
Bytes wordStream(size_t size, uint16_t nFib = 193, uint32_t seed = 1) {
    Bytes b = test::fillerBytes(size, seed);
    writeU16LE(b, 0, 0xA5EC);
    writeU16LE(b, 2, nFib);
    writeU16LE(b, 20, 0);
    return b;
}

std::vector<CfbStream> document(size_t wordSize = 6000) {
    return {{"WordDocument", wordStream(wordSize)},
            {"1Table", test::fillerBytes(5000, 2)},
            {"Data", test::fillerBytes(100, 3)},
            {"\001CompObj", test::fillerBytes(80, 4)}};
}

// The salvage with the bytes and the context it refers to.
struct Salvaged {
    Bytes file;
    DocContext ctx;
    DocSalvage s;
    explicit Salvaged(Bytes bytes) : file(std::move(bytes)) { s = SalvageDocFile(file, ctx); }
    const CDocStorage& st() const { return *s.storage; }
    Bytes read(const CStreamEntry* e) const { return e ? st().ReadWholeStream(*e) : Bytes{}; }
};

size_t find(const Bytes& file, std::string_view name) {
    int64_t at = findBytes(file, 0, utf16Pattern(name));
    EXPECT_GE(at, 0) << name;
    return static_cast<size_t>(at);
}

// FAT entry position of sector s in an undamaged file written by the builder.
size_t fatEntryPos(const Bytes& file, uint32_t s) {
    return test::sectorPos(test::layoutOf(file).fatSectors[s / 128]) + 4 * (s % 128);
}

Bytes prepend(size_t n, Bytes file) {
    Bytes out = test::fillerBytes(n, 99);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

void zero(Bytes& file, size_t from, size_t n) {
    std::fill(file.begin() + from, file.begin() + from + n, 0);
}

// Damage that leaves the sectors intact: the streams read back exactly.
TEST(Salvage, ReadsStreamsThroughDamagedHeaders) {
    const std::vector<CfbStream> small = document();
    const std::vector<CfbStream> large = document(300'000);  // several FAT sectors
    struct Case {
        const char* what;
        const std::vector<CfbStream>* streams;
        std::function<Bytes(Bytes)> damage;
        bool rebuilt;
        int32_t shift;
    } cases[] = {
        {"intact", &small, [](Bytes f) { return f; }, false, 0},
        {"header zeroed", &small,
         [](Bytes f) {
             zero(f, 0, 512);
             return f;
         },
         true, 0},
        {"bytes before a sound header", &small, [](Bytes f) { return prepend(700, f); }, false, 0},
        {"two signature bytes damaged", &small,
         [](Bytes f) {
             f[1] = f[6] = 0;
             return f;
         },
         false, 0},
        {"three signature bytes damaged", &small,
         [](Bytes f) {
             f[1] = f[4] = f[6] = 0;
             return f;
         },
         true, 0},
        {"header DIFAT holds -5", &small,
         [](Bytes f) {
             writeU32LE(f, 76 + 4 * 3, static_cast<uint32_t>(-5));
             return f;
         },
         true, 0},
        {"bytes before a zeroed header", &small,
         [](Bytes f) {
             zero(f, 0, 512);
             return prepend(700, f);
         },
         true, -700},
        {"large, header zeroed", &large,
         [](Bytes f) {
             zero(f, 0, 512);
             return f;
         },
         true, 0},
        {"large, zeroed header after 1000 bytes", &large,
         [](Bytes f) {
             zero(f, 0, 512);
             return prepend(1000, f);
         },
         true, -1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes original = test::buildCompoundFile(*c.streams);
        Salvaged r(c.damage(original));
        ASSERT_EQ(r.s.result, kSalvageReadable);
        EXPECT_EQ(r.s.image->salvaged(), c.rebuilt);
        EXPECT_EQ(r.s.image->shift, c.shift);
        if (c.rebuilt) {
            const std::vector<uint32_t> fat = test::layoutOf(original).fatSectors;
            EXPECT_EQ(r.s.compound->fatSectorList, std::vector<int32_t>(fat.begin(), fat.end()));
        }
        EXPECT_TRUE(r.st().treeWalked);
        EXPECT_TRUE(r.st().compObjPresent);
        EXPECT_EQ(r.read(r.st().wordDocument()), (*c.streams)[0].bytes);
        EXPECT_EQ(r.read(r.st().table1()), (*c.streams)[1].bytes);
        EXPECT_EQ(r.read(r.st().data()), (*c.streams)[2].bytes);
    }
}

TEST(Salvage, HeaderSoundnessFollowsTheDifat) {
    const Bytes original = test::buildCompoundFile(document());
    struct Case {
        int32_t value;
        bool sound;
    } cases[] = {{-1, true}, {-5, false}, {-2, false}, {5, true}, {100000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Bytes f = original;
        writeU32LE(f, 76 + 4 * 10, static_cast<uint32_t>(c.value));
        CFileImage image(f);
        image.ScanSignature();
        EXPECT_EQ(image.HeaderLooksSound(), c.sound);
    }
}

// A file of at most 128 sectors has one FAT marker; its FAT sector is the block holding it.
TEST(Salvage, SmallFileHasOneFatSector) {
    Bytes f = test::buildCompoundFile(document());
    const uint32_t fatSector = test::layoutOf(f).fatSectors.at(0);
    ASSERT_LE(f.size() / 512, 128u);
    zero(f, 0, 512);
    CFileImage image(f);
    ASSERT_EQ(image.RebuildFatSectorList(), 0);
    EXPECT_EQ(image.fatSectors, std::vector<int32_t>{static_cast<int32_t>(fatSector)});
}

// Out-of-range FAT values: replaced under a sound header, fatal in a rebuilt FAT.
TEST(Salvage, InvalidFatValues) {
    const Bytes original = test::buildCompoundFile(document());
    const uint32_t lastWordSector =
        Salvaged(original).st().wordDocument()->startSector + 6000 / 512;
    for (int32_t bad : {0, -4, 0x7FFFFFF0}) {
        SCOPED_TRACE(bad);
        Bytes f = original;
        writeU32LE(f, fatEntryPos(f, lastWordSector), static_cast<uint32_t>(bad));
        Salvaged r(f);
        ASSERT_EQ(r.s.result, kSalvageReadable);
        EXPECT_EQ(r.s.compound->fat[lastWordSector], -1);
        EXPECT_EQ(r.s.invalidFatValues, 0);
        EXPECT_EQ(r.read(r.st().wordDocument()), document()[0].bytes);
    }
    // A rebuilt FAT keeps its values; one bad value is one lost link, guessed as the next
    // sector, while a FAT full of bad values is no FAT.
    for (uint32_t bad : {1u, 12u}) {
        SCOPED_TRACE(bad);
        Bytes f = original;
        for (uint32_t k = 0; k < bad; ++k)
            writeU32LE(f, fatEntryPos(f, lastWordSector - k), 0x7FFFFFF0);
        zero(f, 0, 512);
        Salvaged r(f);
        EXPECT_EQ(r.s.invalidFatValues, static_cast<int>(bad));
        if (bad == 1) {
            ASSERT_EQ(r.s.result, kSalvageReadable);
            EXPECT_EQ(r.s.fatValuesRepaired, 1);
            EXPECT_EQ(r.read(r.st().wordDocument()), document()[0].bytes);
            EXPECT_TRUE(r.ctx.findings.has(docfinding::kFatValuesRepaired));
        } else {
            EXPECT_EQ(r.s.result, kSalvageFailed);
            EXPECT_EQ(r.s.fatValuesRepaired, 0);
            EXPECT_TRUE(r.ctx.findings.has(docfinding::kFatInvalid));
        }
    }
}

// The version probe reads the FIB through the directory the salvage goes on with: it finds
// what a probe of its own finds, and the salvage's storage ends as it always did (not walked
// when the FAT is fatal, absent when another version is turned away).
TEST(Salvage, VersionProbeSharesTheSalvagesDirectory) {
    const Bytes original = test::buildCompoundFile(document());
    const uint32_t lastWordSector =
        Salvaged(original).st().wordDocument()->startSector + 6000 / 512;
    Bytes repairedFat = original;
    writeU32LE(repairedFat, fatEntryPos(repairedFat, lastWordSector), 0x7FFFFFF0);
    zero(repairedFat, 0, 512);
    Bytes fatalFat = repairedFat;
    for (uint32_t k = 1; k < 12; ++k)
        writeU32LE(fatalFat, fatEntryPos(original, lastWordSector - k), 0x7FFFFFF0);
    Bytes headerless = original;
    zero(headerless, 0, 512);
    std::vector<CfbStream> word95 = document();
    word95[0].bytes = wordStream(6000, 104);
    struct Case {
        const char* what;
        Bytes file;
    };
    std::vector<Case> cases = {
        {"intact", original},
        {"headerless", headerless},
        {"repaired FAT", repairedFat},
        {"fatal FAT", fatalFat},
        {"prepended", prepend(1024, original)},
        {"Word 95", test::buildCompoundFile(word95)},
        {"workbook", test::buildCompoundFile({{"Workbook", test::fillerBytes(5000, 3)}})},
    };
    for (const auto& f : test::corpusFiles("doc")) {
        Bytes b = test::readFile(f);
        cases.push_back({"corpus", b});
        zero(b, 0, std::min<size_t>(512, b.size()));
        cases.push_back({"corpus headerless", b});
        b.resize(b.size() * 7 / 10);
        cases.push_back({"corpus cut", b});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool keepGoing : {false, true}) {
            DocContext ctx;
            const DocSalvage s = SalvageDocFile(c.file, ctx, keepGoing);
            if (!s.image || s.result == kSalvageRtf)
                continue;
            EXPECT_EQ(s.version, s.image->ClassifyFormatVersion());
            if (s.result == kSalvageNotWord97 && !keepGoing) {
                EXPECT_FALSE(s.storage);
            } else if (s.storage && s.invalidFatValues > s.fatValuesRepaired) {
                EXPECT_TRUE(s.storage->traversal.empty());
                EXPECT_FALSE(s.storage->treeWalked);
            } else if (s.storage) {
                EXPECT_TRUE(s.storage->treeWalked || s.walkFailed);
            }
        }
    }
}

TEST(Salvage, RolesComeFromTheTopLevel) {
    // Sorted by length, "WordDocument" ends up a leaf without siblings.
    const Bytes f = test::buildCompoundFile({{"Data", test::fillerBytes(10, 1)},
                                             {"1Table", test::fillerBytes(10, 2)},
                                             {"WordDocument", wordStream(5000)},
                                             {"ObjectPool/_1/WordDocument", wordStream(4500)},
                                             {"ObjectPool/_1/1Table", test::fillerBytes(20, 3)},
                                             {"ObjectPool/_1/Data", test::fillerBytes(30, 4)}});
    DocContext ctx;
    CFileImage image(f);
    image.ScanSignature();
    CCompoundFile cf(image, ctx);
    CDocStorage st(cf, ctx);
    st.ReadDirectory();
    const CStreamEntry* top = nullptr;
    for (const CStreamEntry& e : st.entries)
        if (e.name == "WordDocument" && e.size == 5000)
            top = &e;
    ASSERT_TRUE(top);
    ASSERT_EQ(top->leftSibling, -1);
    ASSERT_EQ(top->rightSibling, -1);
    EXPECT_NE(st.wordDocument(), top);  // the directory read skips it (or took the embedded one)
    ASSERT_EQ(st.WalkDirectoryTree(), 0);
    EXPECT_EQ(st.wordDocument(), top);
    EXPECT_EQ(st.wordDocument()->depth, 0);
    EXPECT_EQ(st.table1()->size, 10);
    EXPECT_EQ(st.data()->size, 10);
    // Walk order: a storage, then what it holds one level deeper.
    std::vector<std::pair<std::string, int>> walk;
    for (const WalkStep& w : st.traversal)
        walk.push_back({st.entries[w.entry].name, w.depth});
    const std::vector<std::pair<std::string, int>> expected = {
        {"Data", 0}, {"1Table", 0}, {"ObjectPool", 0},   {"_1", 1},
        {"Data", 2}, {"1Table", 2}, {"WordDocument", 2}, {"WordDocument", 0}};
    EXPECT_EQ(walk, expected);
}

// With the root's links lost (its child entry cut off with the file's end), the streams of an
// embedded object must not stand in for the document's own, nor be taken when they are all
// that is left.
TEST(Salvage, EmbeddedStreamsNeverStandInWhenTheTreeIsBroken) {
    for (bool ownDocument : {true, false}) {
        SCOPED_TRACE(ownDocument);
        std::vector<CfbStream> streams = {{"ObjectPool/_1/WordDocument", wordStream(4500, 193, 5)},
                                          {"ObjectPool/_1/1Table", test::fillerBytes(20, 3)},
                                          {"ObjectPool/_1/Data", test::fillerBytes(30, 4)}};
        if (ownDocument) {
            streams.push_back({"Data", test::fillerBytes(10, 1)});
            streams.push_back({"1Table", test::fillerBytes(10, 2)});
            streams.push_back({"WordDocument", wordStream(5000)});
        }
        Bytes f = test::buildCompoundFile(streams);
        writeU32LE(f, find(f, "Root Entry") + 76, 0x7FFF);
        Salvaged r(f);
        ASSERT_TRUE(r.s.storage);
        EXPECT_TRUE(r.s.walkFailed);
        if (ownDocument) {
            EXPECT_EQ(r.read(r.st().wordDocument()), wordStream(5000));
            ASSERT_TRUE(r.st().table1());
            EXPECT_EQ(r.st().table1()->size, 10);
        } else {
            EXPECT_TRUE(!r.st().wordDocument() || r.st().wordDocument()->size != 4500);
        }
    }
}

// A directory entry whose name was damaged is found again by the raw search.
TEST(Salvage, RawSearchFindsLostTableStreams) {
    for (const char* table : {"1Table", "0Table"}) {
        SCOPED_TRACE(table);
        const Bytes body = test::fillerBytes(5000, 7);
        Bytes f = test::buildCompoundFile(
            {{"WordDocument", wordStream(6000)}, {table, body}, {"Data", test::fillerBytes(9, 8)}});
        writeU16LE(f, find(f, table) + 64, 0);  // name length 0: the entry is discarded
        Salvaged r(f);
        ASSERT_EQ(r.s.result, kSalvageReadable);
        EXPECT_TRUE(r.s.walkFailed);
        ASSERT_TRUE(r.st().table());
        EXPECT_EQ(r.st().table()->name, table);
        EXPECT_EQ(r.read(r.st().table()), body);
    }
}

TEST(Salvage, MiniStreamCutoff) {
    for (size_t size : {4095u, 4096u}) {
        SCOPED_TRACE(size);
        const Bytes data = test::fillerBytes(size, 5);
        Bytes f = test::buildCompoundFile({{"WordDocument", wordStream(6000)}, {"Data", data}});
        for (int zeroed = 0; zeroed < 2; ++zeroed) {
            if (zeroed)
                zero(f, 0, 512);
            Salvaged r(f);
            ASSERT_TRUE(r.st().data());
            EXPECT_EQ(r.st().data()->sectorSize, size < 4096 ? 64 : 512);
            EXPECT_EQ(r.read(r.st().data()), data);
        }
    }
}

// Chains that run in a circle end; reads never leave the image.
TEST(Salvage, CirclesAndTruncationEnd) {
    const Bytes original = test::buildCompoundFile(document());
    Bytes f = original;
    const CStreamEntry word = *Salvaged(original).st().wordDocument();
    writeU32LE(f, fatEntryPos(f, word.startSector + 6000 / 512),
               word.startSector);  // last WordDocument sector -> first
    const uint32_t dir = test::layoutOf(f).dirStart;
    writeU32LE(f, fatEntryPos(f, dir), dir);  // the directory chain points at itself
    Salvaged r(f);
    ASSERT_EQ(r.s.result, kSalvageReadable);
    EXPECT_EQ(r.s.compound->directoryEntryCount, 4);
    Bytes big(1 << 20);
    EXPECT_TRUE(
        r.st().ReadStream(*r.st().wordDocument(), big, static_cast<int32_t>(big.size()), 0));
    EXPECT_TRUE(r.st().ReadStream(*r.st().wordDocument(), big, 10, 1 << 30));

    // A start sector past the end fails the read; a truncated file reads what is left.
    Bytes far = original;
    writeU32LE(far, find(far, "1Table") + 116, 100000);
    Salvaged t(far);
    Bytes buf(5000);
    ASSERT_TRUE(t.s.storage && t.st().table1());
    EXPECT_FALSE(t.st().ReadStream(*t.st().table1(), buf, 5000, 0));
    for (size_t percent : {30, 70, 90, 99}) {
        Salvaged cut(Bytes(original.begin(), original.begin() + original.size() * percent / 100));
        if (cut.s.storage && cut.st().wordDocument()) {
            EXPECT_LE(cut.read(cut.st().wordDocument()).size(), 6000u);
        }
    }
}

// A FAT sector wiped to zeros or cut off tells nothing; the salvage reads on sector after
// sector instead of ending every chain after its first sector.
TEST(Salvage, LostFatSectorReadsSectorsInOrder) {
    const Bytes original = test::buildCompoundFile(document());
    const test::CfbLayout layout = test::layoutOf(original);
    ASSERT_EQ(layout.fatSectors.size(), 1u);
    const Salvaged intact(original);
    const uint32_t wordStart = intact.st().wordDocument()->startSector;
    const uint32_t tableStart = intact.st().table1()->startSector;
    // The streams this fixture checks lie in order and before the FAT sector.
    ASSERT_EQ(wordStart, tableStart + 10);
    ASSERT_GT(layout.fatSectors[0], wordStart + 11);
    for (bool wiped : {true, false}) {
        SCOPED_TRACE(wiped ? "wiped" : "cut off");
        Bytes f = original;
        if (wiped)
            zero(f, test::sectorPos(layout.fatSectors[0]), 512);
        else
            f.resize(test::sectorPos(layout.fatSectors[0]));
        Salvaged r(f);
        ASSERT_TRUE(r.s.compound);
        EXPECT_EQ(r.s.invalidFatValues, 0);
        EXPECT_EQ(r.s.compound->nextSector(wordStart), static_cast<int32_t>(wordStart + 1));
        CStreamEntry word, table;
        word.startSector = static_cast<int32_t>(wordStart);
        word.size = 6000;
        table.startSector = static_cast<int32_t>(tableStart);
        table.size = 5000;
        EXPECT_EQ(r.read(&word), document()[0].bytes);
        EXPECT_EQ(r.read(&table), document()[1].bytes);
    }
    // The last sector's chain ends instead of pointing past the table.
    Bytes f = original;
    zero(f, test::sectorPos(layout.fatSectors[0]), 512);
    Salvaged r(f);
    const int32_t last = r.s.compound->sectorLimit - 1;
    EXPECT_EQ(r.s.compound->nextSector(last), -2);
}

// Without any directory entry (wiped, or cut off with the end of the file) the streams are
// found by their content: the WordDocument stream by its FIB, the table stream by the piece
// table the FIB points at.
TEST(Salvage, StreamsWithoutDirectoryEntriesAreFoundByContent) {
    test::Word97Builder b;
    b.text = std::u16string(3000, u'x') + u"\r";
    b.extraTables = {{fib::kSttbfAssoc, test::fillerBytes(5000, 6)}};
    Doc8Streams streams = b.build();
    writeU32LE(streams.wordDocument, fib::kCbMac,
               static_cast<uint32_t>(streams.wordDocument.size()));
    const Bytes& table = *streams.table1;
    const Bytes original = test::buildCompoundFile(
        {{"1Table", table}, {"WordDocument", streams.wordDocument}, {"\001CompObj", Bytes(80, 4)}});
    const test::CfbLayout layout = test::layoutOf(original);
    const Salvaged intact(original);
    const uint32_t streamsEnd =
        intact.st().wordDocument()->startSector + (streams.wordDocument.size() + 511) / 512;
    ASSERT_GE(layout.dirStart, streamsEnd);
    ASSERT_GE(layout.fatSectors[0], streamsEnd);

    Bytes wiped = original;
    zero(wiped, test::sectorPos(layout.dirStart), 512);
    const Bytes cut(original.begin(), original.begin() + test::sectorPos(streamsEnd));
    for (const Bytes* f : std::initializer_list<const Bytes*>{&wiped, &cut}) {
        SCOPED_TRACE(f == &wiped ? "directory wiped" : "cut after the streams");
        DocContext ctx;
        const DocSalvage s = SalvageDocFile(*f, ctx, true);
        ASSERT_TRUE(s.storage);
        const CDocStorage& st = *s.storage;
        ASSERT_TRUE(st.wordDocument());
        ASSERT_TRUE(st.table1());
        EXPECT_FALSE(st.table0());
        EXPECT_EQ(st.ReadWholeStream(*st.wordDocument()), streams.wordDocument);
        const Bytes read = st.ReadWholeStream(*st.table1());
        ASSERT_LE(read.size(), table.size());
        EXPECT_EQ(read, Bytes(table.begin(), table.begin() + read.size()));
        EXPECT_GE(read.size(), table.size() - 3);  // to the end of the farthest table
    }
}

// In a rebuilt FAT, a chain that runs past the end of the file ends there: the stream reads
// up to the cut instead of the whole file being refused.
TEST(Salvage, RebuiltChainsEndWhereTheFileEnds) {
    Bytes f = test::buildCompoundFile(document());
    const CStreamEntry word = *Salvaged(f).st().wordDocument();
    const uint32_t sectorsInFile = static_cast<uint32_t>(f.size() / 512 - 1);
    writeU32LE(f, fatEntryPos(f, word.startSector + 5), sectorsInFile + 3);
    zero(f, 0, 512);
    Salvaged r(f);
    ASSERT_EQ(r.s.result, kSalvageReadable);
    EXPECT_EQ(r.s.invalidFatValues, 0);
    // The chain ends after six sectors; the stream's size asks for more, so the read goes
    // on with the next sectors, where a writer lays a stream out, and gets it whole.
    EXPECT_EQ(r.read(r.st().wordDocument()), document()[0].bytes);
    EXPECT_TRUE(r.ctx.findings.has(docfinding::kChainGuessed));
}

// A short table stream whose entry was wiped is found in the mini stream.
TEST(Salvage, ShortTableWithoutEntryIsFoundInTheMiniStream) {
    test::Word97Builder b;
    b.text = std::u16string(3000, u'x') + u"\r";
    const Doc8Streams streams = b.build();
    const Bytes& table = *streams.table1;
    ASSERT_LT(table.size(), 4096u);
    Bytes f = test::buildCompoundFile({{"WordDocument", streams.wordDocument}, {"1Table", table}});
    zero(f, find(f, "1Table"), 128);
    Salvaged r(f);
    ASSERT_TRUE(r.st().table1());
    EXPECT_EQ(r.st().table1()->sectorSize, 64);
    const Bytes read = r.read(r.st().table1());
    ASSERT_LE(read.size(), table.size());
    EXPECT_EQ(read, Bytes(table.begin(), table.begin() + read.size()));
    EXPECT_GE(read.size(), table.size() - 3);
}

TEST(Salvage, SixteenBitReadsCountCharacters) {
    const Bytes f = test::buildCompoundFile(document());
    Salvaged r(f);
    r.ctx.textIs16Bit = true;
    Bytes dest(20, 0xEE);
    ASSERT_TRUE(r.st().ReadStream(*r.st().wordDocument(), dest, 10, 100));
    const Bytes word = document()[0].bytes;
    EXPECT_EQ(dest, Bytes(word.begin() + 100, word.begin() + 120));
    EXPECT_FALSE(r.st().ReadStream(*r.st().wordDocument(), dest, 11, 0));  // 22 bytes: too small
}

TEST(Salvage, RefusesWhatIsNotAWord97Document) {
    const Bytes word6 = test::buildCompoundFile({{"WordDocument", wordStream(6000, 101)}});
    const Bytes workbook = test::buildCompoundFile({{"Workbook", test::fillerBytes(5000, 1)}});
    const Bytes book = test::buildCompoundFile({{"Book", test::fillerBytes(5000, 1)}});
    const Bytes other = test::buildCompoundFile({{"Contents", test::fillerBytes(5000, 1)}});
    // The word "Book" in a stream's text, with a size-like value where an entry keeps its size:
    // no directory entry, so no spreadsheet.
    Bytes bookText = test::fillerBytes(5000, 1);
    for (size_t i = 0; i < 4; ++i) {
        bookText[1000 + 2 * i] = static_cast<uint8_t>("Book"[i]);
        bookText[1001 + 2 * i] = 0;
    }
    bookText[1000 + 120] = 7;
    const Bytes bookInText = test::buildCompoundFile({{"Contents", bookText}});
    Bytes rtf = test::bytesOf("{\\rtf1 " + std::string(1000, 'x'));
    Bytes rtfDamaged = rtf;
    rtfDamaged[2] = 'R';
    struct Case {
        const char* what;
        Bytes file;
        int32_t result;
    } cases[] = {{"899 bytes", Bytes(899, 0), kSalvageFailed},
                 {"no compound file", test::fillerBytes(5000, 1), kSalvageFailed},
                 {"rtf", rtf, kSalvageRtf},
                 {"rtf with one byte changed", rtfDamaged, kSalvageRtf},
                 {"word 6", word6, kSalvageNotWord97},
                 {"workbook", workbook, kSalvageSpreadsheet},
                 {"book", book, kSalvageSpreadsheet},
                 {"no document stream", other, kSalvageNotWord97},
                 {"\"Book\" in a stream's text", bookInText, kSalvageNotWord97}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DocContext ctx;
        ctx.statusCode = 7;
        DocSalvage s = SalvageDocFile(c.file, ctx);
        EXPECT_EQ(s.result, c.result);
        EXPECT_EQ(ctx.statusCode, c.file.size() < 900 ? 7 : kStatusOk);
    }
}

}  // namespace
}  // namespace morvel

namespace morvel {
namespace {

// A file cut inside a sector keeps that sector's first bytes in the stream read from it.
TEST(Salvage, CutInsideASectorKeepsItsFirstBytes) {
    const Bytes original = test::buildCompoundFile(document());
    const CStreamEntry word = *Salvaged(original).st().wordDocument();
    for (size_t inside : {1u, 100u, 511u}) {
        SCOPED_TRACE(inside);
        const Bytes file(original.begin(),
                         original.begin() + test::sectorPos(word.startSector + 3) + inside);
        DocContext ctx;
        const DocSalvage s = SalvageDocFile(file, ctx, true);
        ASSERT_TRUE(s.storage) << s.result;
        const Bytes read = s.storage->ReadWholeStream(word);
        const Bytes whole = document()[0].bytes;
        EXPECT_EQ(read, Bytes(whole.begin(), whole.begin() + 3 * 512 + inside));
        EXPECT_TRUE(ctx.findings.has(docfinding::kStreamCutShort));
    }
}

}  // namespace
}  // namespace morvel
