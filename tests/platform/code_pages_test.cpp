#include "platform/code_pages.h"

#include <gtest/gtest.h>

namespace morvel {
namespace {

TEST(CodePages, BytesOfEachPage) {
    struct Case {
        uint32_t codePage;
        uint8_t byte;
        uint32_t codePoint;
    } cases[] = {
        {1252, 0x41, 'A'},     {1252, 0xE9, 0x00E9}, {1252, 0x80, 0x20AC},
        {1252, 0x81, 0xFFFD},  // unassigned in the page
        {1250, 0x8A, 0x0160},  {1251, 0xCF, 0x041F}, {1251, 0xA8, 0x0401},
        {1253, 0xC1, 0x0391},  {1254, 0xF0, 0x011F}, {1255, 0xE0, 0x05D0},
        {1256, 0xC7, 0x0627},  {1257, 0xE8, 0x010D}, {874, 0xA1, 0x0E01},
        {437, 0x82, 0x00E9},   {850, 0x9B, 0x00F8},  {10000, 0x8E, 0x00E9},
        {99999, 0xE9, 0x00E9},  // an unknown page is read as 1252
    };
    for (const Case& c : cases)
        EXPECT_EQ(codePageCharacter(c.codePage, c.byte), c.codePoint)
            << c.codePage << " byte " << int(c.byte);
}

TEST(CodePages, CharsetsAndTheirNames) {
    EXPECT_EQ(codePageOfCharset(204), 1251u);
    EXPECT_EQ(codePageOfCharset(238), 1250u);
    EXPECT_EQ(codePageOfCharset(128), 932u);
    EXPECT_EQ(codePageOfCharset(0), 0u);  // ANSI: the document's own page
    EXPECT_EQ(codePageOfCharset(2), 0u);  // symbol
    EXPECT_TRUE(isDoubleByteCodePage(936));
    EXPECT_FALSE(isDoubleByteCodePage(1251));

    struct Name {
        const char* name;
        uint32_t codePage;
    } names[] = {
        {"UTF-8", kUtf8CodePage},
        {"utf8", kUtf8CodePage},
        {"Windows-1251", 1251},
        {"cp1250", 1250},
        {"ISO-8859-1", 1252},
        {"us-ascii", 1252},
        {"iso-8859-9", 1254},
        {"ibm850", 850},
        {"koi8-r", 0},
        {"windows-9999", 0},
        {"cp12a", 0},
        {"", 0},
    };
    for (const Name& n : names)
        EXPECT_EQ(codePageOfCharsetName(n.name), n.codePage) << n.name;
}

}  // namespace
}  // namespace morvel
