#include "doc/property_run.h"

#include <algorithm>

namespace morvel {

SprmRecord SprmRecord::withU32(uint16_t opcode, uint32_t value) {
    SprmRecord s;
    s.opcode = opcode;
    s.size = 6;
    s.operand.resize(4);
    s.setOperandU32(value);
    return s;
}

SprmRecord SprmRecord::withU8(uint16_t opcode, uint8_t value) {
    SprmRecord s;
    s.opcode = opcode;
    s.size = 3;
    s.operand = {value};
    return s;
}

uint32_t SprmRecord::operandU32() const {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < operand.size(); ++i)
        v |= static_cast<uint32_t>(operand[i]) << (8 * i);
    return v;
}

void SprmRecord::setOperandU32(uint32_t value) {
    for (size_t i = 0; i < 4 && i < operand.size(); ++i)
        operand[i] = static_cast<uint8_t>(value >> (8 * i));
}

const SprmRecord* PropertyRun::find(uint16_t opcode) const {
    for (const SprmRecord& s : sprms)
        if (s.opcode == opcode)
            return &s;
    return nullptr;
}

SprmRecord* PropertyRun::find(uint16_t opcode) {
    for (SprmRecord& s : sprms)
        if (s.opcode == opcode)
            return &s;
    return nullptr;
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

uint32_t propertyByteCount(const PropertyRun& run, bool honourDropped) {
    uint32_t total = 0;
    for (const SprmRecord& s : run.sprms)
        if (!(honourDropped && s.dropped) && s.size <= 512)
            total += s.size;
    return total;
}

bool sameProperties(const PropertyRun& a, const PropertyRun& b) {
    if (a.sprms.size() != b.sprms.size())
        return false;
    for (size_t i = 0; i < a.sprms.size(); ++i) {
        const SprmRecord& x = a.sprms[i];
        const SprmRecord& y = b.sprms[i];
        if (x.dropped || y.dropped || x.opcode != y.opcode || x.operand != y.operand)
            return false;
    }
    return true;
}

}  // namespace morvel
