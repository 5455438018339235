#include "platform/tag_end.h"

#include <gtest/gtest.h>

#include <string>

namespace morvel {
namespace {

constexpr size_t npos = std::string_view::npos;

TEST(TagEnd, QuotedGreaterThanAndBrokenQuotes) {
    struct Case {
        std::string text;  // a tag from its '<'
        size_t end;        // index of the closing '>'
    } cases[] = {
        {"<a>", 2},
        {"<a b=\"1\" c='2'/>", 15},
        {"<a b=\"x>y\" c='>'>", 16},          // quoted '>' ends nothing
        {"<a b='say \"hi\">' c=\"'\">", 22},  // the other quote is plain inside a value
        {"<a b=\"1><c>text</c>", 7},          // unbalanced quote meets '<': first '>' after it
        {"<a b=\"1<c>", 9},                   // ... or, with none, the quote is ignored
        {"<a b='1>x", 7},                     // the end of the text breaks a quote too
        {"<a b='1", npos},
        {"<a b=\"1\"", npos},
        {"<abcdefghijklmnopqrstuvwxyz0123456789 v=\"abcdefghijklmnop>qrstuv\" w='x'>", 71},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findTagEnd(c.text, 1), c.end) << c.text;
}

// The eight-bytes-at-a-time search agrees with a plain one at every offset and length.
TEST(TagEnd, FindFirstOf3AtEveryOffset) {
    for (size_t length = 0; length < 40; ++length)
        for (size_t hit = 0; hit <= length; ++hit)
            for (char c : {'>', '"', '\''}) {
                std::string s(length, 'a');
                s.insert(s.begin(), static_cast<char>(0x80));  // high bytes are plain bytes
                if (hit < length)
                    s[hit + 1] = c;
                if (hit + 3 < length)
                    s[hit + 3] = '>';  // a later hit never hides an earlier one
                const size_t want = hit < length ? hit + 1 : s.size();
                EXPECT_EQ(findFirstOf3(s, 1, '>', '"', '\''), want) << length << " " << hit;
            }
}

}  // namespace
}  // namespace morvel
