#include "docx/deflate_salvage_meters.h"

namespace morvel {

void TextMeter::feed(uint8_t b) {
    ++bytes_;
    if (pending_ != 0) {
        if ((b & 0xC0) == 0x80) {
            --pending_;
            return;
        }
        pending_ = 0;
        ++bad_;
    }
    if (b < 0x20) {
        if (b != '\t' && b != '\n' && b != '\r')
            ++bad_;
    } else if (b < 0x7F) {
        return;
    } else if (b >= 0xC2 && b <= 0xDF) {
        pending_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        pending_ = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
        pending_ = 3;
    } else {
        ++bad_;
    }
}

namespace {

bool isSpace(uint8_t b) {
    return b == ' ' || b == '\t' || b == '\r' || b == '\n';
}
bool isNameStart(uint8_t b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b == '_' || b == ':' || b >= 0x80;
}
bool isNameChar(uint8_t b) {
    return isNameStart(b) || (b >= '0' && b <= '9') || b == '-' || b == '.';
}
uint32_t hashStep(uint32_t h, uint8_t b) {
    return (h ^ b) * 16777619u;
}

}  // namespace

void MarkupMeter::fail() {
    ++errors_;
    lose();
}

void MarkupMeter::push() {
    if (depth_ < kMaxDepth)
        open_[depth_] = name_;
    ++depth_;
    state_ = State::Text;
    closed_ = false;
}

void MarkupMeter::pop() {
    // Only a mismatch within what is tracked counts; a resync starts with nothing open.
    if (depth_ > 0 && depth_ <= kMaxDepth && open_[depth_ - 1] != name_)
        return fail();
    if (depth_ > 0)
        --depth_;
    state_ = State::Text;
    closed_ = true;
}

void MarkupMeter::feed(uint8_t b) {
    switch (state_) {
        case State::Lost:
        case State::Text:
            if (b == '<')
                state_ = State::TagOpen;
            return;
        case State::TagOpen:
            name_ = 2166136261u;
            if (b == '/')
                state_ = State::EndName;
            else if (b == '?' || b == '!')
                state_ = State::Special;
            else if (isNameStart(b))
                name_ = hashStep(name_, b), state_ = State::StartName;
            else
                fail();
            return;
        case State::StartName:
            if (isNameChar(b))
                name_ = hashStep(name_, b);
            else if (isSpace(b))
                state_ = State::InTag;
            else if (b == '>')
                push();
            else if (b == '/')
                state_ = State::EmptyClose;
            else
                fail();
            return;
        case State::InTag:
        case State::AfterAttr:
            if (isSpace(b))
                state_ = State::InTag;
            else if (b == '>')
                push();
            else if (b == '/')
                state_ = State::EmptyClose;
            else if (state_ == State::InTag && isNameStart(b))
                state_ = State::AttrName;
            else
                fail();
            return;
        case State::AttrName:
        case State::AttrSpace:
            if (b == '=')
                state_ = State::AttrEq;
            else if (isSpace(b))
                state_ = State::AttrSpace;
            else if (state_ != State::AttrName || !isNameChar(b))
                fail();
            return;
        case State::AttrEq:
            if (b == '"' || b == '\'')
                quote_ = b, state_ = State::AttrValue;
            else if (!isSpace(b))
                fail();
            return;
        case State::AttrValue:
            if (b == quote_)
                state_ = State::AfterAttr;
            else if (b == '<')
                fail();
            return;
        case State::EmptyClose:
            if (b == '>')
                state_ = State::Text, closed_ = true;
            else
                fail();
            return;
        case State::EndName:
            if (isNameChar(b))
                name_ = hashStep(name_, b);
            else if (b == '>')
                pop();
            else if (isSpace(b))
                state_ = State::EndSpace;
            else
                fail();
            return;
        case State::EndSpace:
            if (b == '>')
                pop();
            else if (!isSpace(b))
                fail();
            return;
        case State::Special:
            if (b == '>')
                state_ = State::Text;
            return;
    }
}

}  // namespace morvel
