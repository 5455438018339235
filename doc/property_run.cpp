#include "doc/property_run.h"

#include <algorithm>

namespace morvel {

void PropertyRuns::clear() {
    runs_.clear();
    sprms_.clear();
    bytes_.clear();
}

void PropertyRuns::reserveMore(size_t runs) {
    runs_.reserve(runs_.size() + runs);
    sprms_.reserve(sprms_.size() + runs);
    bytes_.reserve(bytes_.size() + 2 * runs);
}

PropertyRun& PropertyRuns::add(int32_t fc) {
    PropertyRun& run = runs_.emplace_back();
    run.fc = fc;
    run.firstSprm = static_cast<uint32_t>(sprms_.size());
    return run;
}

void PropertyRuns::addSprm(uint16_t opcode, std::span<const uint8_t> operand) {
    SprmRecord& s = sprms_.emplace_back();
    s.opcode = opcode;
    s.size = static_cast<uint32_t>(operand.size()) + 2;
    s.operandAt = static_cast<uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), operand.begin(), operand.end());
    ++runs_.back().sprmCount;
}

void PropertyRuns::addSprmU32(uint16_t opcode, uint32_t value) {
    const uint8_t operand[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                static_cast<uint8_t>(value >> 16),
                                static_cast<uint8_t>(value >> 24)};
    addSprm(opcode, operand);
}

void PropertyRuns::addSprmU8(uint16_t opcode, uint8_t value) {
    addSprm(opcode, std::span<const uint8_t>(&value, 1));
}

std::span<SprmRecord> PropertyRuns::sprms(const PropertyRun& run) {
    return std::span<SprmRecord>(sprms_).subspan(run.firstSprm, run.sprmCount);
}

std::span<const SprmRecord> PropertyRuns::sprms(const PropertyRun& run) const {
    return std::span<const SprmRecord>(sprms_).subspan(run.firstSprm, run.sprmCount);
}

std::span<const uint8_t> PropertyRuns::operand(const SprmRecord& s) const {
    return std::span<const uint8_t>(bytes_).subspan(s.operandAt, s.size - 2);
}

const SprmRecord* PropertyRuns::find(const PropertyRun& run, uint16_t opcode) const {
    for (const SprmRecord& s : sprms(run))
        if (s.opcode == opcode)
            return &s;
    return nullptr;
}

SprmRecord* PropertyRuns::find(const PropertyRun& run, uint16_t opcode) {
    for (SprmRecord& s : sprms(run))
        if (s.opcode == opcode)
            return &s;
    return nullptr;
}

uint32_t PropertyRuns::operandU32(const SprmRecord& s) const {
    const std::span<const uint8_t> bytes = operand(s);
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < bytes.size(); ++i)
        v |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return v;
}

void PropertyRuns::setOperandU32(const SprmRecord& s, uint32_t value) {
    const size_t n = std::min<size_t>(4, s.size - 2);
    for (size_t i = 0; i < n; ++i)
        bytes_[s.operandAt + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t PropertyRuns::byteCount(const PropertyRun& run, bool honourDropped) const {
    uint32_t total = 0;
    for (const SprmRecord& s : sprms(run))
        if (!(honourDropped && s.dropped) && s.size <= 512)
            total += s.size;
    return total;
}

bool PropertyRuns::sameProperties(const PropertyRun& a, const PropertyRun& b) const {
    if (a.sprmCount != b.sprmCount)
        return false;
    const std::span<const SprmRecord> xs = sprms(a);
    const std::span<const SprmRecord> ys = sprms(b);
    for (size_t i = 0; i < xs.size(); ++i) {
        const SprmRecord& x = xs[i];
        const SprmRecord& y = ys[i];
        if (x.dropped || y.dropped || x.opcode != y.opcode || x.size != y.size ||
            !std::equal(bytes_.begin() + x.operandAt, bytes_.begin() + x.operandAt + x.size - 2,
                        bytes_.begin() + y.operandAt))
            return false;
    }
    return true;
}

uint32_t sprmSize(uint16_t opcode, uint8_t next, bool paragraph) {
    switch (opcode & 0xE000) {
        case 0x0000:
            return paragraph ? 2 : 3;
        case 0x2000:
            return 3;
        case 0x4000:
        case 0x8000:
        case 0xA000:
            return 4;
        case 0x6000:
            return 6;
        case 0xC000:
            return 3u + next;
        default:
            return 5;
    }
}

}  // namespace morvel
