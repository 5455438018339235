#include <gtest/gtest.h>

#include <vector>

#include "platform/code_pages.h"

namespace morvel {
namespace {

TEST(CodePages, LanguageGivesItsAnsiCodePage) {
    struct Case {
        uint16_t lid;
        uint16_t codePage;
    } cases[] = {
        {0x0409, 1252}, {0x0407, 1252}, {0x040C, 1252}, {0x0419, 1251}, {0x0422, 1251},
        {0x0402, 1251}, {0x0C1A, 1251}, {0x081A, 1250}, {0x041A, 1250}, {0x0405, 1250},
        {0x0415, 1250}, {0x040E, 1250}, {0x0408, 1253}, {0x041F, 1254}, {0x040D, 1255},
        {0x0401, 1256}, {0x0C01, 1256}, {0x0429, 1256}, {0x0425, 1257}, {0x0427, 1257},
        {0x042A, 1258}, {0x041E, 874},  {0x0000, 1252}, {0xFFFF, 1252},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ansiCodePageOfLanguage(c.lid), c.codePage) << std::hex << c.lid;
}

TEST(CodePages, ConvertsEachPage) {
    struct Case {
        uint16_t codePage;
        uint8_t byte;
        uint16_t unit;
    } cases[] =
        {
            {1252, 0xE9, 0x00E9}, {1252, 0x80, 0x20AC},  {1250, 0xE8, 0x010D},
            {1250, 0x9A, 0x0161}, {1251, 0xC0, 0x0410},  {1251, 0xFF, 0x044F},
            {1251, 0xA8, 0x0401}, {1253, 0xC1, 0x0391},  {1254, 0xF0, 0x011F},
            {1255, 0xE0, 0x05D0}, {1256, 0xC7, 0x0627},  {1257, 0xE0, 0x0105},
            {1258, 0xF5, 0x01A1}, {874, 0xA1, 0x0E01},   {874, 0xDB, 0xFFFD},
            {1251, 0x41, 0x0041}, {10000, 0x8E, 0x00E9}, {10000, 0xA5, 0x2022},
            {437, 0xE9, 0x00E9},  // a page we do not convert reads as Western
        };
    for (const Case& c : cases) {
        const std::vector<uint8_t> in{c.byte};
        EXPECT_EQ(ansiToUtf16(in, c.codePage), std::vector<uint16_t>{c.unit})
            << c.codePage << " " << int(c.byte);
    }
}

}  // namespace
}  // namespace morvel
