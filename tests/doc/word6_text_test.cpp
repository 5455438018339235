// The text of Word 6.0/95 and Word 1.x/2.0 documents: from the piece table, the FIB's text
// range or the readable runs, in the code page the document's language or fonts give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doc/word6_text.h"
#include "platform/le_reader.h"
#include "platform/utf8.h"
#include "tests/support/word6_builder.h"

namespace morvel {
namespace {

std::string utf8Of(const EarlyWordText& read) {
    return utf16leToUtf8(read.text);
}

TEST(Word6Text, ReadsTextInTheCodePageOfItsLanguageOrFonts) {
    struct Case {
        const char* name;
        test::Word6Builder doc;
        const char* expected;  // UTF-8, paragraph ends as \r
        EarlyTextSource source;
        uint16_t codePage;
    } cases[] = {
        {"Western, full save",
         {"Caf\xE9 cr\xE8me\r", 101, 0x0409},
         "Café crème\r",
         EarlyTextSource::TextRange,
         1252},
        {"Western, fast saved in two pieces",
         {"Na\xEFve r\xE9sum\xE9 of the year\r", 104, 0x0409, true},
         "Naïve résumé of the year\r",
         EarlyTextSource::PieceTable,
         1252},
        {"Russian",
         {"\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0\r", 101, 0x0419},
         "Привет, мир\r",
         EarlyTextSource::TextRange,
         1251},
        {"Russian, fast saved",
         {"\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0\r", 104, 0x0419, true},
         "Привет, мир\r",
         EarlyTextSource::PieceTable,
         1251},
        {"Czech",
         {"P\xF8\xEDli\x9A \x9Elut\xFD\r", 101, 0x0405},
         "Příliš žlutý\r",
         EarlyTextSource::TextRange,
         1250},
        {"Greek",
         {"\xC1\xE8\xDE\xED\xE1\r", 101, 0x0408},
         "Αθήνα\r",
         EarlyTextSource::TextRange,
         1253},
        // An English language stamp with Cyrillic fonts throughout: the fonts decide.
        {"Cyrillic fonts",
         {"\xCC\xEE\xF1\xEA\xE2\xE0\r", 101, 0x0409, false, {204, 2, 204}},
         "Москва\r",
         EarlyTextSource::TextRange,
         1251},
        // Fonts that disagree say nothing: the language's page stays.
        {"mixed fonts",
         {"caf\xE9\r", 101, 0x0409, false, {204, 0}},
         "café\r",
         EarlyTextSource::TextRange,
         1252},
        // Fields keep their result, table cells end paragraphs, anchors are dropped.
        {"marks",
         {"Page \x13 PAGE \\* MERGEFORMAT \x14"
          "3\x15 of\x07two\x07\x07\x01pic\r",
          101, 0x0409},
         "Page 3 of\rtwo\r\rpic\r",
         EarlyTextSource::TextRange,
         1252},
    };
    test::Word6Builder mac{"Caf\x8E cr\x8Fme\r"};
    mac.savedOnMac = true;
    const EarlyWordText macRead = readWord6Text(mac.buildStream());
    EXPECT_EQ(utf8Of(macRead), "Café crème\r");
    EXPECT_EQ(macRead.codePage, 10000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EarlyWordText read = readWord6Text(c.doc.buildStream());
        EXPECT_EQ(utf8Of(read), c.expected);
        EXPECT_EQ(read.source, c.source);
        EXPECT_EQ(read.codePage, c.codePage);
        EXPECT_EQ(read.version, c.doc.nFib == 101 ? 6 : 7);
        EXPECT_EQ(read.pieces, c.doc.fastSaved ? 2u : 0u);
    }
}

// Damage to the FIB or the piece table falls back to what still holds the text; no text the
// stream holds is lost because a structure around it is bad.
TEST(Word6Text, FallsBackWhenTheStructureIsDamaged) {
    const std::string text = "The first half of it, and then the second half of it.\r";
    test::Word6Builder fast{text, 104, 0x0409, true};
    const std::vector<uint8_t> intact = fast.buildStream();
    const size_t clxAt = readU32LE(intact, test::kWord6FibFcClx);
    const uint32_t textEnd = static_cast<uint32_t>(test::kWord6TextStart + text.size());

    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
        std::string expected;
        EarlyTextSource source;
        bool byScan;
    };
    std::vector<Case> cases;
    {
        // The FIB's pointer to the CLX is lost: the table is found in the stream.
        std::vector<uint8_t> s = intact;
        writeU32LE(s, test::kWord6FibFcClx, 0x7FFFFFF0);
        cases.push_back({"CLX pointer damaged", s, text, EarlyTextSource::PieceTable, true});
    }
    {
        // The piece table's CPs run backwards: the text range still holds every byte,
        // stored order (second half first).
        std::vector<uint8_t> s = intact;
        writeU32LE(s, clxAt + 5 + 5 + 4, 0x00FFFFFF);
        const size_t half = text.size() / 2;
        cases.push_back({"piece table damaged", s, text.substr(half) + text.substr(0, half),
                         EarlyTextSource::TextRange, false});
    }
    {
        // The whole FIB wiped: the readable run at 0x300 is the text.
        std::vector<uint8_t> s = test::Word6Builder{text}.buildStream();
        std::fill(s.begin(), s.begin() + 512, 0);
        cases.push_back({"FIB wiped", s, text, EarlyTextSource::ReadableRuns, false});
    }
    {
        // fcMac far beyond the stream: the character count bounds the text instead.
        std::vector<uint8_t> s = test::Word6Builder{text}.buildStream();
        writeU32LE(s, 0x1C, 0x40000000);
        cases.push_back({"fcMac damaged", s, text, EarlyTextSource::TextRange, false});
    }
    {
        // The stream cut in the middle of the text: what is left is kept.
        std::vector<uint8_t> s = test::Word6Builder{text}.buildStream();
        s.resize(test::kWord6TextStart + 20);
        cases.push_back({"stream cut", s, text.substr(0, 20), EarlyTextSource::TextRange, false});
    }
    {
        // A zeroed stretch inside the text reads as nothing, the rest stays.
        std::vector<uint8_t> s = test::Word6Builder{text}.buildStream();
        std::fill(s.begin() + test::kWord6TextStart + 4, s.begin() + test::kWord6TextStart + 10, 0);
        cases.push_back({"text partly zeroed", s, text.substr(0, 4) + text.substr(10),
                         EarlyTextSource::TextRange, false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EarlyWordText read = readWord6Text(c.stream);
        EXPECT_EQ(utf8Of(read), c.expected);
        EXPECT_EQ(read.source, c.source);
        EXPECT_EQ(read.tableFoundByScan, c.byScan);
    }
    EXPECT_LT(textEnd, intact.size());
}

TEST(Word6Text, ReadsWord2Files) {
    const std::vector<uint8_t> file = test::word2File("Ol\xE9 from Word 2\r", 0x0409);
    ASSERT_TRUE(isWord2File(file));
    const EarlyWordText read = readWord2Text(file);
    EXPECT_EQ(utf8Of(read), "Olé from Word 2\r");
    EXPECT_EQ(read.version, 0);
    EXPECT_EQ(read.source, EarlyTextSource::TextRange);

    // A locale number (below 999) is no language id: Western.
    EXPECT_EQ(readWord2Text(test::word2File("x\r", 7)).codePage, 1252);
    EXPECT_EQ(readWord2Text(test::word2File("x\r", 0x0419)).codePage, 1251);
    // Word 6 streams and Word 97 FIBs are not Word 2 files.
    EXPECT_FALSE(isWord2File(test::Word6Builder{"x\r"}.buildStream()));
}

// Nothing the reader is given makes it read outside the bytes or give up on readable text.
TEST(Word6Text, HostileInputs) {
    const std::vector<uint8_t> empty;
    EXPECT_TRUE(readWord6Text(empty).text.empty());
    EXPECT_TRUE(readWord2Text(empty).text.empty());
    // A stream of nothing but piece-table markers: the search stays bounded.
    std::vector<uint8_t> markers(200000, 2);
    EXPECT_NO_THROW(readWord6Text(markers));
    // Every FIB field at its largest.
    std::vector<uint8_t> s = test::Word6Builder{"text\r", 101, 0x0409, true}.buildStream();
    for (size_t off = 0x18; off < 0x168; off += 4)
        writeU32LE(s, off, 0xFFFFFFFF);
    writeU16LE(s, 2, 101);
    EXPECT_NO_THROW(readWord6Text(s));
}

}  // namespace
}  // namespace morvel
