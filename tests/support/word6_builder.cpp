#include "tests/support/word6_builder.h"

#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"

namespace morvel::test {

namespace {

constexpr uint16_t kWord6Ident = 0xA5DC;
constexpr uint16_t kWord2Ident = 0xA5DB;
constexpr uint16_t kWord2NFib = 45;
constexpr size_t kWord2TextStart = 0x180;
constexpr uint16_t kFlagComplex = 0x0004;
constexpr uint16_t kCharsetMac = 256;
constexpr size_t kFcSttbfFfn = 0xD0;

void put(std::vector<uint8_t>& s, size_t at, const std::string& bytes) {
    if (s.size() < at + bytes.size())
        s.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), s.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::vector<uint8_t> Word6Builder::buildStream() const {
    std::vector<uint8_t> s(kWord6TextStart, 0);
    writeU16LE(s, 0x00, kWord6Ident);
    writeU16LE(s, 0x02, nFib);
    writeU16LE(s, 0x06, lid);
    writeU16LE(s, 0x0A, fastSaved ? kFlagComplex : 0);
    writeU16LE(s, 0x14, savedOnMac ? kCharsetMac : 0);
    const uint32_t n = static_cast<uint32_t>(text.size());
    writeU32LE(s, 0x18, static_cast<uint32_t>(kWord6TextStart));
    writeU32LE(s, 0x1C, static_cast<uint32_t>(kWord6TextStart + n));
    writeU32LE(s, 0x34, n);  // ccpText
    if (!fastSaved) {
        put(s, kWord6TextStart, text);
    } else {
        // The second half first, then the first: only the piece table gives the order.
        const uint32_t half = n / 2;
        put(s, kWord6TextStart, text.substr(half));
        put(s, kWord6TextStart + (n - half), text.substr(0, half));
        const uint32_t firstAt = static_cast<uint32_t>(kWord6TextStart + (n - half));
        const uint32_t secondAt = static_cast<uint32_t>(kWord6TextStart);
        std::vector<uint8_t> clx = {1, 2, 0, 0x55, 0x00};  // a property group of two bytes
        clx.push_back(2);
        appendU32LE(clx, 3 * 4 + 2 * 8);
        for (uint32_t cp : {0u, half, n})
            appendU32LE(clx, cp);
        for (uint32_t fc : {firstAt, secondAt}) {
            appendU16LE(clx, 0);
            appendU32LE(clx, fc);
            appendU16LE(clx, 0);
        }
        const size_t at = s.size() + 16;
        s.resize(at, 0);
        s.insert(s.end(), clx.begin(), clx.end());
        writeU32LE(s, kWord6FibFcClx, static_cast<uint32_t>(at));
        writeU32LE(s, kWord6FibFcClx + 4, static_cast<uint32_t>(clx.size()));
    }
    if (!fontCharsets.empty()) {
        // Each font: size less one, flags, weight, character set, alternate name index, name.
        std::vector<uint8_t> table(2, 0);
        for (uint8_t charset : fontCharsets) {
            const std::string name = "Font";
            table.push_back(static_cast<uint8_t>(6 + name.size()));
            table.insert(table.end(), {0x16, 0x90, 0x01, charset, 0x00});
            table.insert(table.end(), name.begin(), name.end());
            table.push_back(0);
        }
        writeU16LE(table, 0, static_cast<uint16_t>(table.size()));
        const size_t at = s.size() + 8;
        s.resize(at, 0);
        s.insert(s.end(), table.begin(), table.end());
        writeU32LE(s, kFcSttbfFfn, static_cast<uint32_t>(at));
        writeU32LE(s, kFcSttbfFfn + 4, static_cast<uint32_t>(table.size()));
    }
    // Word pads its stream with the formatting pages that follow the text.
    s.resize(s.size() + 512, 0);
    return s;
}

std::vector<uint8_t> Word6Builder::buildFile() const {
    return buildCompoundFile({{"WordDocument", buildStream()}});
}

std::vector<uint8_t> word2File(const std::string& text, uint16_t lid) {
    std::vector<uint8_t> f(kWord2TextStart, 0);
    writeU16LE(f, 0x00, kWord2Ident);
    writeU16LE(f, 0x02, kWord2NFib);
    writeU16LE(f, 0x06, lid);
    writeU32LE(f, 0x18, static_cast<uint32_t>(kWord2TextStart));
    writeU32LE(f, 0x1C, static_cast<uint32_t>(kWord2TextStart + text.size()));
    put(f, kWord2TextStart, text);
    f.resize(f.size() + 512, 0);
    return f;
}

}  // namespace morvel::test
