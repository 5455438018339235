// Inputs built to make a text reader slow or lose text: each reader finishes in time (a
// quadratic path would take minutes on these sizes) and keeps the text it can.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "convert/html_text.h"
#include "convert/mhtml_text.h"
#include "convert/rtf_text.h"
#include "convert/xml_text.h"
#include "tests/support/time_bounds.h"

namespace morvel {
namespace {

std::span<const uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string repeated(const std::string& unit, size_t bytes) {
    std::string out;
    out.reserve(bytes + unit.size());
    while (out.size() < bytes)
        out += unit;
    return out;
}

TEST(HostileText, EveryReaderFinishesInTime) {
    constexpr size_t kSize = 1 << 20;
    const std::string inputs[] = {
        repeated("<a", kSize),     repeated("<!--", kSize),       repeated("<title>", kSize),
        repeated("<meta ", kSize), repeated("<pkg:part ", kSize), repeated("<![CDATA[", kSize),
        repeated("<a \"", kSize),  repeated("{", kSize),          repeated("\\'", kSize),
        repeated("{\\*", kSize),   repeated("\\u-1?", kSize),     repeated("--b\n", kSize),
        repeated("&#x", kSize),    repeated("<script>", kSize),   repeated("}\\par", kSize),
    };
    const std::function<std::string(std::span<const uint8_t>)> readers[] = {
        [](auto b) { return rtfText(b); },     [](auto b) { return htmlText(b); },
        [](auto b) { return mhtmlText(b); },   [](auto b) { return wordXmlText(b); },
        [](auto b) { return flatOpcText(b); }, [](auto b) { return xmlCharacterData(b); },
    };
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& input : inputs)
        for (const auto& read : readers)
            (void)read(bytesOf(input));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 20 * test::kSlowdown);
}

// A '<' that no '>' follows, long before the end of a page, is text: the page's words after it
// are kept rather than taken for a cut-off tag.
TEST(HostileText, StrayLessThanKeepsTheRestOfThePage) {
    const std::string page = "<p>a <b " + std::string(2000, 'x');
    EXPECT_EQ(htmlText(bytesOf(page)), "a <b " + std::string(2000, 'x'));
    // Near the end it is a tag cut off by the end of the file.
    EXPECT_EQ(htmlText(bytesOf(std::string("<p>a</p><span style=\"x"))), "a");
}

}  // namespace
}  // namespace morvel
