#include "docx/markup_store.h"

#include <algorithm>
#include <cstring>

#include "docx/span_match.h"
#include "platform/tag_end.h"

namespace morvel {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The first byte of 0x80 or more in [from, to), or to; eight bytes at a time.
const uint8_t* firstHighByte(const uint8_t* from, const uint8_t* to) {
    while (to - from >= 8) {
        uint64_t word;
        std::memcpy(&word, from, 8);
        if (word & 0x8080808080808080ull)
            break;
        from += 8;
    }
    while (from < to && *from < 0x80)
        ++from;
    return from;
}

// Where the construct ending with `close` that begins at `from` ends (one past it), or 0.
uint32_t endOf(ByteSpan bytes, uint32_t from, std::string_view close) {
    if (from > bytes.length)
        return 0;
    const uint8_t* hit = Find(ByteSpan(bytes.data + from, bytes.length - from), close);
    return hit ? static_cast<uint32_t>(hit - bytes.data + close.size()) : 0;
}

}  // namespace

void MarkUpStore::Clear() {
    std::vector<std::unique_ptr<Block>>().swap(blocks_);
    count_ = 0;
    isUtf8_ = 0;
    tooDeep_ = 0;
    bytes_ = ByteSpan();
}

void MarkUpStore::append(uint32_t offset, uint32_t length, TagKind kind, uint32_t nameLength) {
    const uint32_t slot = count_ & (kBlockTokens - 1);
    if (slot == 0)
        blocks_.push_back(std::make_unique_for_overwrite<Block>());
    Block& block = *blocks_.back();
    block.offset[slot] = offset;
    block.length[slot] = length < kLongToken ? static_cast<uint8_t>(length) : kLongToken;
    block.info[slot] = static_cast<uint8_t>(static_cast<uint32_t>(kind) |
                                            std::min(nameLength, kLongName) << kNameShift);
    ++count_;
}

uint32_t MarkUpStore::tagNameLength(ByteSpan t) {
    if (t.length <= 2)
        return 0;
    uint32_t i = t.data[1] == '/' ? 2 : 1;
    while (i < t.length && t.data[i] != ' ' && t.data[i] != '>' && t.data[i] != '/')
        ++i;
    return i - 1;
}

ByteSpan MarkUpStore::longToken(uint32_t offset) const {
    const size_t end = findTagEnd(bytes_.view(), offset + 1);
    return ByteSpan(bytes_.data + offset, static_cast<uint32_t>(end) - offset + 1);
}

void MarkUpStore::Tokenize(ByteSpan bytes) {
    Clear();
    const uint32_t first = StartsWith(bytes, kByteOrderMark) ? kByteOrderMark.size() : 0;
    const ByteSpan part(bytes.data + first, bytes.length - first);
    if (!StartsWith(part, "<?xml"))
        return;
    bytes_ = bytes;
    if (const uint8_t* end = Find(part, "?>")) {
        ByteSpan decl(part.data, static_cast<uint32_t>(end - part.data));
        if (const uint8_t* enc = FindNoCase(decl, "encoding=\"")) {
            const uint32_t value = static_cast<uint32_t>(enc - bytes.data) + 10;
            isUtf8_ = StartsWith(ByteSpan(bytes.data + value, bytes.length - value), "UTF-8");
        }
    }
    const std::string_view text = bytes.view();
    uint32_t depth = 0;
    int skip = 0;
    for (uint32_t i = first; i < bytes.length; ++i) {
        // Text is passed in one jump up to the next '<' (mostly there at once: tags follow
        // one another), or the next byte that starts a UTF-8 skip.
        if (skip == 0 && bytes.data[i] != '<') {
            const uint8_t* from = bytes.data + i;
            const void* hit = std::memchr(from, '<', bytes.length - i);
            const uint8_t* to = hit ? static_cast<const uint8_t*>(hit) : bytes.end();
            if (isUtf8_)
                to = firstHighByte(from, to);
            i = static_cast<uint32_t>(to - bytes.data);
        }
        if (i == bytes.length)
            break;
        const uint8_t c = bytes.data[i];
        if (isUtf8_) {
            // Multi-byte sequences in text never reach the walk.
            if (skip > 0) {
                if (c >= 0x80)
                    --skip;
                continue;
            }
            if (c >= 0xC0) {
                skip = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
                continue;
            }
            if (c >= 0x80)
                continue;
        }
        // Comments and CDATA sections are no tokens; their bytes stay in the gap.
        uint32_t end = 0;
        const bool bang = i + 1 < bytes.length && bytes.data[i + 1] == '!';
        if (bang && StartsWith(ByteSpan(bytes.data + i, bytes.length - i), "<!--")) {
            end = endOf(bytes, i + 2, "-->");
        } else if (bang && StartsWith(ByteSpan(bytes.data + i, bytes.length - i), "<![CDATA[")) {
            end = endOf(bytes, i + 9, "]]>");
        } else {
            const size_t gt = findTagEnd(text, i + 1);
            if (gt != std::string_view::npos) {
                end = static_cast<uint32_t>(gt) + 1;
                const uint32_t length = end - i;
                const ByteSpan token(bytes.data + i, length);
                // The kind as Kind() defines it: a token of two bytes is "<>", an opening.
                TagKind kind = TagKind::Opening;
                if (bytes.data[i + 1] == '/') {
                    kind = TagKind::Closing;
                    depth -= depth > 0;
                } else if (bytes.data[end - 2] == '/') {
                    kind = TagKind::SelfClosing;
                } else if (length > 2 && ++depth > kMaxMarkupDepth) {
                    tooDeep_ = 1;
                    return;
                }
                append(i, length, kind, tagNameLength(token));
            }
        }
        // Markup left open at the end: the part is not trusted at all.
        if (end == 0) {
            Clear();
            return;
        }
        i = end - 1;
    }
}

ByteSpan MarkUpStore::GapBefore(uint32_t index) const {
    ByteSpan t = Token(index);
    if (t.absent())
        return {};
    const uint8_t* from = index == 0 ? bytes_.data : Token(index - 1).end();
    return ByteSpan(from, static_cast<uint32_t>(t.data - from));
}
int MarkUpStore::ParseAttributes(uint32_t index, TagAttributes& out) const {
    out.names.assign(5, ByteSpan());
    out.values.assign(5, ByteSpan());
    if (index >= count_)
        return -1;
    ByteSpan t = Token(index);
    size_t count = 0;
    auto record = [&](uint32_t from, uint32_t to) {
        if (to <= from)
            return;
        if (count == out.names.size()) {
            out.names.emplace_back();
            out.values.emplace_back();
        }
        out.names[count++] = ByteSpan(t.data + from, to - from);
    };
    enum { Name, Between, InName, AfterEquals, InValue } state = Name;
    uint32_t mark = 0;
    for (uint32_t i = 1; i + 1 < t.length; ++i) {
        const uint8_t c = t.data[i];
        if (c > 0x7F)
            continue;
        switch (state) {
            case Name:
                if (c <= 0x20)
                    state = Between;
                break;
            case Between:
                if (c > 0x20) {
                    mark = i;
                    state = InName;
                }
                break;
            case InName:
                if (c == '=') {
                    record(mark, i);
                    state = AfterEquals;
                } else if (c <= 0x20) {
                    record(mark, i);
                    state = Between;
                }
                break;
            case AfterEquals:
                if (c == '"' || c == '\'') {
                    mark = i;
                    state = InValue;
                } else {
                    state = Between;
                }
                break;
            case InValue:
                if (c == '"' || c == '\'') {
                    if (count > 0)
                        out.values[count - 1] =
                            i - mark > 1 ? ByteSpan(t.data + mark + 1, i - mark - 1) : ByteSpan();
                    state = Between;
                }
                break;
        }
    }
    return 0;
}

}  // namespace morvel
