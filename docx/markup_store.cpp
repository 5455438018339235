#include "docx/markup_store.h"

#include <algorithm>
#include <cstring>

#include "docx/span_match.h"

namespace morvel {

namespace {

enum class WalkState { Outside, InTag, InComment, InCdata };

// True when the bytes at i begin with pattern.
bool at(ByteSpan bytes, uint32_t i, std::string_view pattern) {
    return StartsWith(ByteSpan(bytes.data + i, bytes.length - i), pattern);
}

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

}  // namespace

void MarkUpStore::Clear() {
    std::vector<TokenPos>().swap(tokens_);
    isUtf8_ = 0;
    bytes_ = ByteSpan();
}

void MarkUpStore::Tokenize(ByteSpan bytes) {
    Clear();
    if (!StartsWith(bytes, "<?xml"))
        return;
    bytes_ = bytes;
    if (const uint8_t* end = Find(bytes, "?>")) {
        ByteSpan decl(bytes.data, static_cast<uint32_t>(end - bytes.data));
        if (const uint8_t* enc = FindNoCase(decl, "encoding=\"")) {
            uint32_t value = static_cast<uint32_t>(enc - bytes.data) + 10;
            isUtf8_ = at(bytes, value, "UTF-8") ? 1 : 0;
        }
    }
    // Every token begins with a '<': counting them sizes the token list once.
    const auto opens = std::count(bytes.begin(), bytes.end(), '<');
    tokens_.reserve(opens);
    WalkState state = WalkState::Outside;
    uint32_t start = 0;
    int skip = 0;
    for (uint32_t i = 0; i < bytes.length; ++i) {
        // Plain bytes between the ones that matter are passed in one jump: up to the next
        // '<' outside a tag or '>' inside one, or the next byte that starts a UTF-8 skip.
        if (skip == 0 && (state == WalkState::Outside || state == WalkState::InTag)) {
            const uint8_t* from = bytes.data + i;
            const void* hit =
                std::memchr(from, state == WalkState::Outside ? '<' : '>', bytes.length - i);
            const uint8_t* to = hit ? static_cast<const uint8_t*>(hit) : bytes.end();
            if (isUtf8_)
                to = firstHighByte(from, to);
            i = static_cast<uint32_t>(to - bytes.data);
        }
        if (i == bytes.length)
            break;
        const uint8_t c = bytes.data[i];
        if (isUtf8_) {
            // Multi-byte sequences never reach the state machine.
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
        switch (state) {
            case WalkState::Outside:
                if (c == '<') {
                    start = i;
                    state = at(bytes, i, "<!--")        ? WalkState::InComment
                            : at(bytes, i, "<![CDATA[") ? WalkState::InCdata
                                                        : WalkState::InTag;
                }
                break;
            case WalkState::InTag:
                if (c == '>') {
                    tokens_.push_back({start, i - start + 1});
                    state = WalkState::Outside;
                }
                break;
            case WalkState::InComment:
                if (at(bytes, i, "-->"))
                    state = WalkState::Outside;
                break;
            case WalkState::InCdata:
                if (at(bytes, i, "]]>"))
                    state = WalkState::Outside;
                break;
        }
    }
    // Markup left open at the end: the part is not trusted at all.
    if (state != WalkState::Outside)
        std::vector<TokenPos>().swap(tokens_);
}

ByteSpan MarkUpStore::GetTagName(uint32_t index) const {
    ByteSpan t = Token(index);
    if (t.length <= 2)
        return {};
    uint32_t i = 1;
    if (t.data[i] == '/')
        ++i;
    while (i < t.length && t.data[i] != ' ' && t.data[i] != '>' && t.data[i] != '/')
        ++i;
    return ByteSpan(t.data + 1, i - 1);
}

TagKind MarkUpStore::Kind(uint32_t index) const {
    ByteSpan t = Token(index);
    if (t.length >= 2 && t.data[1] == '/')
        return TagKind::Closing;
    if (t.length >= 2 && t.data[t.length - 2] == '/')
        return TagKind::SelfClosing;
    return TagKind::Opening;
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
    if (index >= tokens_.size())
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
