#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/compound_file_writer.h"

namespace morvel {

// Writes a minimal Word 97 document around a block of UTF-16 text: one Unicode piece, one
// character run, one paragraph run in style 0 and one section with fixed page settings.
// Destroyed through its concrete type, never through this base.
class CTextWrite {
  public:
    CTextWrite(const CTextWrite&) = delete;
    CTextWrite& operator=(const CTextWrite&) = delete;

    // Builds the fib::kOutputSize-byte FIB for the current text byte count.
    virtual void vMakeFib() = 0;
    // Writes `text` (UTF-16LE; byteSize is its byte length plus 2 for a terminating zero unit,
    // which is not written) as a new document at `path`. False when the file cannot be made.
    virtual bool WriteTextDocument(std::span<const uint8_t> text, int32_t byteSize,
                                   const std::filesystem::path& path) = 0;

  protected:
    CTextWrite();
    ~CTextWrite() = default;

    std::vector<uint8_t> fib;                     // only while a document is written
    std::array<uint8_t, 30> sectionProperties{};  // the SEPX at the end of the main stream
    std::array<uint8_t, 2> paragraphMark{};       // 0x0D 0x00
    std::array<uint8_t, 20> sectionTable{};       // the PlcfSed template
    int32_t textBytes = 0;                        // T: bytes of text to write
    int32_t baseOffset = 1536;                    // fcMin, the origin of the other offsets
};

class CTextWrite8 final : public CTextWrite {
  public:
    CTextWrite8() = default;

    void vMakeFib() override;
    bool WriteTextDocument(std::span<const uint8_t> text, int32_t byteSize,
                           const std::filesystem::path& path) override;
    // The same document as bytes of a compound file, without touching the disk.
    std::vector<uint8_t> BuildTextDocument(std::span<const uint8_t> text, int32_t byteSize);

  private:
    // Where the document's parts fall for the current text.
    struct TextLayout {
        uint32_t chpPage = 0;  // page of the character FKP; the paragraph FKP follows it
        uint32_t chars = 0;    // characters: the text and a final paragraph mark
        uint32_t textEnd = 0;  // position after the final paragraph mark
    };
    void setTable(uint32_t fcField, uint32_t fc, uint32_t lcb);
    void writeTableStream(CompoundStream& table, const TextLayout& layout);
    void writeWordDocumentStream(CompoundStream& word, std::span<const uint8_t> text,
                                 const TextLayout& layout);
    void writePropertyPages(CompoundStream& word, const TextLayout& layout);
};

}  // namespace morvel
