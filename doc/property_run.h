#pragma once

#include <array>
#include <cstdint>
#include <span>
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

// One property modifier, copied byte for byte from a property page. Its operand bytes live in
// the PropertyRuns that holds it.
struct SprmRecord {
    uint16_t opcode = 0;
    uint32_t size = 2;       // bytes including the 2-byte opcode
    uint32_t operandAt = 0;  // where its size - 2 operand bytes begin in the holder's bytes
    bool dropped = false;    // not written to the output
};

// A character or paragraph run: where it ends and which sprms of its PropertyRuns are its own.
struct PropertyRun {
    int32_t fc = 0;         // end position in the source WordDocument stream; 0: ignored
    int32_t outputPos = 0;  // end position in the output WordDocument stream
    uint32_t firstSprm = 0;
    uint32_t sprmCount = 0;
    std::array<uint8_t, 12> phe{};  // paragraph runs only
};

// The character or paragraph runs of one document with all their sprms and operand bytes, held
// flat: a document's hundreds of thousands of runs cost three growing arrays, not an allocation
// per run and per sprm. A run's sprms are added right after it and stay next to each other, so
// sorting or cutting the run list leaves them in place.
class PropertyRuns {
  public:
    // The runs, in the order they were added unless the caller reorders them.
    std::vector<PropertyRun>& list() { return runs_; }
    const std::vector<PropertyRun>& list() const { return runs_; }
    size_t size() const { return runs_.size(); }
    bool empty() const { return runs_.empty(); }
    PropertyRun& operator[](size_t i) { return runs_[i]; }
    const PropertyRun& operator[](size_t i) const { return runs_[i]; }
    PropertyRun& back() { return runs_.back(); }
    const PropertyRun& back() const { return runs_.back(); }
    auto begin() { return runs_.begin(); }
    auto end() { return runs_.end(); }
    auto begin() const { return runs_.begin(); }
    auto end() const { return runs_.end(); }
    // Forgets the runs and their sprms.
    void clear();
    // Room for about this many more runs (and as many sprms), so that reading pages does not
    // regrow and copy the arrays over and over; untouched room costs no memory.
    void reserveMore(size_t runs);

    // Adds a run without sprms ending at `fc`; the sprms added next are its own.
    PropertyRun& add(int32_t fc);
    // Adds a sprm to the last run added; `operand` holds its size - 2 bytes.
    void addSprm(uint16_t opcode, std::span<const uint8_t> operand);
    void addSprmU32(uint16_t opcode, uint32_t value);
    void addSprmU8(uint16_t opcode, uint8_t value);
    // Takes the last sprm of a run away (it stays in the arrays, unused).
    void dropLastSprm(PropertyRun& run) { --run.sprmCount; }

    std::span<SprmRecord> sprms(const PropertyRun& run);
    std::span<const SprmRecord> sprms(const PropertyRun& run) const;
    std::span<const uint8_t> operand(const SprmRecord& s) const;
    const SprmRecord* find(const PropertyRun& run, uint16_t opcode) const;
    SprmRecord* find(const PropertyRun& run, uint16_t opcode);
    bool has(const PropertyRun& run, uint16_t opcode) const { return find(run, opcode) != nullptr; }
    // The first four operand bytes, little-endian (fewer when the operand is shorter).
    uint32_t operandU32(const SprmRecord& s) const;
    void setOperandU32(const SprmRecord& s, uint32_t value);

    // The number of bytes the run's properties take when written: the sizes of its sprms not
    // marked dropped (with `honourDropped`), a size outside 0 ... 512 counting as 0.
    uint32_t byteCount(const PropertyRun& run, bool honourDropped = true) const;
    // Runs with the same sprms, opcode by opcode and operand by operand; a run with a dropped
    // sprm is never equal to another (its written set differs from its list).
    bool sameProperties(const PropertyRun& a, const PropertyRun& b) const;

  private:
    std::vector<PropertyRun> runs_;
    std::vector<SprmRecord> sprms_;
    std::vector<uint8_t> bytes_;
};

// Total bytes of a sprm, opcode included, from the top three opcode bits. `next` is the byte
// after the opcode (the length of a variable-size sprm). Paragraph sprms of kind 0 take 2
// bytes so the style index at the start of a paragraph's properties reads as one sprm.
uint32_t sprmSize(uint16_t opcode, uint8_t next, bool paragraph);

}  // namespace morvel
