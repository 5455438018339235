#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace morvel {

// Sprm opcodes the reader acts on; every other sprm is carried unchanged.
inline constexpr uint16_t kSprmPicLocation = 0x6A03;     // picture offset in the Data stream
inline constexpr uint16_t kSprmSpecialChar = 0x0855;     // special character (with 0x6A03: picture)
inline constexpr uint16_t kSprmEmbeddedObject = 0x080A;  // embedded object
inline constexpr uint16_t kSprmPropsInData = 0x6646;     // paragraph properties held in Data
inline constexpr uint16_t kSprmTableInData = 0x646B;     // table properties in Data; ends a row
inline constexpr uint16_t kSprmTableDepth = 0x6649;      // paragraph inside a table
inline constexpr uint16_t kSprmMarker = 0x6816;          // added marker of a re-synchronised run
inline constexpr uint16_t kSprmEndMarker = 0x0000;       // end marker after a rejected last page
inline constexpr uint32_t kResyncMarker = 0x0050102F;
inline constexpr uint32_t kNoRunsMarker = 0x000A39F5;

// One property modifier, copied byte for byte from a property page.
struct SprmRecord {
    uint16_t opcode = 0;
    uint32_t size = 2;             // bytes including the 2-byte opcode
    std::vector<uint8_t> operand;  // size - 2 bytes
    bool dropped = false;          // not written to the output

    static SprmRecord withU32(uint16_t opcode, uint32_t value);
    static SprmRecord withU8(uint16_t opcode, uint8_t value);
    uint32_t operandU32() const;
    void setOperandU32(uint32_t value);
};

// A character or paragraph run: where it ends and its property modifiers.
struct PropertyRun {
    int32_t fc = 0;         // end position in the source WordDocument stream; 0: ignored
    int32_t outputPos = 0;  // end position in the output WordDocument stream
    std::vector<SprmRecord> sprms;
    std::array<uint8_t, 12> phe{};  // paragraph runs only

    const SprmRecord* find(uint16_t opcode) const;
    SprmRecord* find(uint16_t opcode);
    bool has(uint16_t opcode) const { return find(opcode) != nullptr; }
};

// Total bytes of a sprm, opcode included, from the top three opcode bits. `next` is the byte
// after the opcode (the length of a variable-size sprm). Paragraph sprms of kind 0 take 2
// bytes so the style index at the start of a paragraph's properties reads as one sprm.
uint32_t sprmSize(uint16_t opcode, uint8_t next, bool paragraph);

// The number of bytes the run's properties take when written: the sizes of its sprms not
// marked dropped (with `honourDropped`), a size outside 0 ... 512 counting as 0.
uint32_t propertyByteCount(const PropertyRun& run, bool honourDropped = true);

// Runs with the same sprms, opcode by opcode and operand by operand; a run with a dropped
// sprm is never equal to another (its written set differs from its list).
bool sameProperties(const PropertyRun& a, const PropertyRun& b);

}  // namespace morvel
