#include "platform/xml_escape.h"

#include <gtest/gtest.h>

namespace morvel {
namespace {

TEST(XmlEscape, MarkupCharactersBecomeEntitiesAndTheRestStays) {
    struct Case {
        std::string text, escaped;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"a & b", "a &amp; b"},
        {"<w:t>", "&lt;w:t&gt;"},
        {"say \"hi\"", "say &quot;hi&quot;"},
        {"it's", "it's"},  // only double-quoted attribute values are written
        {"&amp;", "&amp;amp;"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},  // UTF-8 bytes pass through
    };
    for (const Case& c : cases) {
        EXPECT_EQ(xmlEscaped(c.text), c.escaped) << c.text;
        std::string out = "x";
        appendXmlEscaped(out, c.text);
        EXPECT_EQ(out, "x" + c.escaped);
    }
}

}  // namespace
}  // namespace morvel
