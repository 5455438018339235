#include "docx/deflate_flip_judge.h"

#include <gtest/gtest.h>

#include <string>

namespace morvel {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

std::string body(const std::string& inner) {
    return kDecl + "<w:document xmlns:w=\"urn:w\"><w:body>" + inner + "</w:body></w:document>";
}

uint64_t errorsOf(const std::string& xml, bool fromStart) {
    FlipJudge judge(true, fromStart);
    judge.feed(reinterpret_cast<const uint8_t*>(xml.data()), xml.size());
    return judge.errors();
}

// What a word processor writes passes; text decoded from a wrong byte that still fits the
// tag syntax (stray text between elements, an endless declaration, a run of letters that
// never ends) is counted. The rules that need the part's start apply only to a judge fed
// from its first byte.
TEST(DeflateFlipJudge, CountsWhatAWordProcessorNeverWrites) {
    const std::string longWord(300, 'x');
    std::string longScript;  // 150 three-byte characters, written without spaces
    for (int i = 0; i < 150; ++i)
        longScript += "\xE6\x96\x87";
    const std::string longValue(5000, 'Q');  // embedded data in an attribute
    struct Case {
        const char* name;
        std::string xml;
        bool fromStart;
        bool bad;
    };
    const Case cases[] = {
        {"paragraph",
         body("<w:p><w:r><w:t xml:space=\"preserve\">Hello, world &amp; all."
              "</w:t></w:r></w:p>\r\n<w:sectPr/>"),
         true, false},
        {"script without spaces", body("<w:p><w:r><w:t>" + longScript + "</w:t></w:r></w:p>"), true,
         false},
        {"long attribute value", body("<w:pict o:gfxdata=\"" + longValue + "\"/>"), true, false},
        {"long word", body("<w:p><w:r><w:t>" + longWord + "</w:t></w:r></w:p>"), true, true},
        {"text after an end tag", body("<w:p><w:r><w:t>a</w:t></w:r>stray</w:p>"), true, true},
        {"text after an empty element", body("<w:p><w:pPr/>stray</w:p>"), true, true},
        {"raw '>' in text", body("<w:p><w:r><w:t>a > b</w:t></w:r></w:p>"), true, true},
        {"endless declaration", "<?xml version=\"1.0\"" + std::string(600, 'a') + "?><w:r/>", true,
         true},
        {"text before the root", kDecl + "stray\r\n<w:document/>", true, true},
        {"text after the root", body("") + "tail", true, true},
        {"text before the root, mid-part", kDecl + "stray\r\n<w:document/>", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(errorsOf(c.xml, c.fromStart) != 0, c.bad);
    }
}

// A judge copied at any point goes on exactly as the original does.
TEST(DeflateFlipJudge, CopiesGoOnAlike) {
    const std::string xml = body("<w:p><w:r><w:t>one</w:t></w:r>two</w:p>");
    const auto* bytes = reinterpret_cast<const uint8_t*>(xml.data());
    FlipJudge whole(true, true);
    whole.feed(bytes, xml.size());
    for (size_t cut = 0; cut <= xml.size(); cut += 7) {
        FlipJudge first(true, true);
        first.feed(bytes, cut);
        FlipJudge copy = first;
        copy.feed(bytes + cut, xml.size() - cut);
        EXPECT_EQ(copy.errors(), whole.errors()) << "cut at " << cut;
    }
}

}  // namespace
}  // namespace morvel
