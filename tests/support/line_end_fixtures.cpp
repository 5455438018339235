#include "tests/support/line_end_fixtures.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/cfb_builder.h"
#include "tests/support/zip_builder.h"

namespace morvel::test {

namespace {

constexpr uint8_t kCr = 0x0D, kLf = 0x0A;

bool holdsCrLf(const std::vector<uint8_t>& b) {
    for (size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == kCr && b[i + 1] == kLf)
            return true;
    return false;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<uint8_t> textBytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

std::vector<uint8_t> transferAsText(const std::vector<uint8_t>& bytes, TextTransfer how) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size() + bytes.size() / 64);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool afterCr = i > 0 && bytes[i - 1] == kCr;
        if (bytes[i] == kLf) {
            if (how == TextTransfer::EveryLf || (how == TextTransfer::LoneLf && !afterCr))
                out.push_back(kCr);
            else if (how == TextTransfer::CrLfToLf && afterCr)
                out.pop_back();
        }
        out.push_back(bytes[i]);
    }
    return out;
}

const char* transferName(TextTransfer how) {
    switch (how) {
        case TextTransfer::EveryLf:
            return "EveryLf";
        case TextTransfer::LoneLf:
            return "LoneLf";
        case TextTransfer::CrLfToLf:
            return "CrLfToLf";
    }
    return "";
}

std::vector<uint8_t> binaryWithoutCr(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t x = seed * 2654435761u + 99u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        const uint8_t b = static_cast<uint8_t>(x >> 16);
        out[i] = b == kCr ? uint8_t{0x0E} : b;
    }
    return out;
}

std::vector<uint8_t> pngStart() {
    return {0x89, 'P', 'N', 'G', kCr, kLf, 0x1A, kLf, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'};
}

std::string crLfLines(size_t lines) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<list>\r\n";
    for (size_t i = 0; i < lines; ++i)
        s += "  <item n=\"" + std::to_string(i) + "\">line of text</item>\r\n";
    return s + "</list>\r\n";
}

std::vector<uint8_t> lineEndCompoundFile() {
    std::vector<uint8_t> word = binaryWithoutCr(9000, 1);
    word[0] = 0xEC;  // the Word stream's first bytes: a FIB
    word[1] = 0xA5;
    return buildCompoundFile({
        {"WordDocument", word},
        {"1Table", binaryWithoutCr(7000, 2)},
        {"Data", concat({pngStart(), binaryWithoutCr(5000, 3)})},
        {"Notes", textBytes(crLfLines(3))},
        {"\005SummaryInformation", binaryWithoutCr(300, 4)},
        {"Small", binaryWithoutCr(900, 5)},
    });
}

std::vector<uint8_t> lineEndPackage() {
    ZipBuilder zip;
    zip.add("[Content_Types].xml", crLfLines(4));
    // A text whose deflated bytes hold a CR LF, found by trying numbered variants.
    std::string text;
    for (uint32_t seed = 0;; ++seed) {
        const std::vector<uint8_t> noise = binaryWithoutCr(3000, 100 + seed);
        std::string candidate = crLfLines(20) + "<!-- ";
        for (uint8_t b : noise)
            candidate += static_cast<char>('a' + b % 26);
        candidate += " -->\r\n";
        if (holdsCrLf(deflateRaw(textBytes(candidate)))) {
            text = candidate;
            break;
        }
        if (seed > 1000)
            throw std::runtime_error("no deflated text with a CR LF");
    }
    zip.add("word/document.xml", text);
    std::vector<uint8_t> png =
        concat({pngStart(), binaryWithoutCr(2000, 7), {kCr, kLf}, binaryWithoutCr(1500, 8)});
    zip.add("word/media/image1.png", std::string(png.begin(), png.end()), 0);
    zip.add("word/styles.xml", crLfLines(30));
    return zip.finish();
}

}  // namespace morvel::test
