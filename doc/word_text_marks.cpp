#include "doc/word_text_marks.h"

namespace morvel {

namespace {

constexpr uint16_t kCellMark = 0x07;
constexpr uint16_t kTab = 0x09;
constexpr uint16_t kLineFeed = 0x0A;
constexpr uint16_t kLineBreak = 0x0B;
constexpr uint16_t kPageBreak = 0x0C;
constexpr uint16_t kParagraphEnd = 0x0D;
constexpr uint16_t kFieldBegin = 0x13;
constexpr uint16_t kFieldSeparator = 0x14;
constexpr uint16_t kFieldEnd = 0x15;
constexpr uint16_t kNonBreakingHyphen = 0x1E;
constexpr uint16_t kOptionalHyphen = 0x1F;
constexpr uint16_t kFirstPrintable = 0x20;

// For every character, whether it belongs to a field instruction that is closed by a
// separator or an end mark. Fields nest (an instruction may hold whole fields); an unclosed
// one hides nothing. The closed ranges are summed as differences, so deep nesting costs no
// more than one pass.
std::vector<bool> instructionCharacters(std::span<const uint16_t> chars) {
    struct OpenField {
        size_t begin;
        bool inInstruction;
    };
    std::vector<int32_t> delta(chars.size() + 1, 0);
    std::vector<OpenField> open;
    auto hide = [&](size_t from, size_t to) {  // (from, to) exclusive of both marks
        ++delta[from + 1];
        --delta[to];
    };
    for (size_t i = 0; i < chars.size(); ++i) {
        const uint16_t c = chars[i];
        if (c == kFieldBegin) {
            open.push_back({i, true});
        } else if (c == kFieldSeparator) {
            if (!open.empty() && open.back().inInstruction) {
                hide(open.back().begin, i);
                open.back().inInstruction = false;
            }
        } else if (c == kFieldEnd && !open.empty()) {
            if (open.back().inInstruction)
                hide(open.back().begin, i);
            open.pop_back();
        }
    }
    std::vector<bool> hidden(chars.size(), false);
    int32_t depth = 0;
    for (size_t i = 0; i < chars.size(); ++i) {
        depth += delta[i];
        hidden[i] = depth > 0;
    }
    return hidden;
}

}  // namespace

std::vector<uint16_t> plainDocumentText(std::span<const uint16_t> chars) {
    const std::vector<bool> hidden = instructionCharacters(chars);
    std::vector<uint16_t> out;
    out.reserve(chars.size());
    for (size_t i = 0; i < chars.size(); ++i) {
        if (hidden[i])
            continue;
        const uint16_t c = chars[i];
        switch (c) {
            case kCellMark:
                out.push_back(kParagraphEnd);
                break;
            case kLineFeed:
                if (out.empty() || out.back() != kParagraphEnd)
                    out.push_back(kParagraphEnd);
                break;
            case kTab:
            case kLineBreak:
            case kPageBreak:
            case kParagraphEnd:
            case kNonBreakingHyphen:
            case kOptionalHyphen:
                out.push_back(c);
                break;
            default:
                if (c >= kFirstPrintable)
                    out.push_back(c);
        }
    }
    return out;
}

}  // namespace morvel
