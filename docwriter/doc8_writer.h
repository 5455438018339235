#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "doc/c_doc8.h"
#include "doc/doc_storage.h"
#include "doc/fib_layout.h"
#include "platform/compound_file_writer.h"

namespace morvel {

// Writes the recovered Word 97 document of a reader: a new FIB, the text as one UTF-16 piece,
// the reader's property pages and sections in the WordDocument stream; the kept tables at new
// positions, new bin tables and a new piece table in "1Table"; the kept Data blocks; copies
// of the source's Macros and ObjectPool storages and CompObj stream.
class Doc8Writer {
  public:
    // `source` is the salvaged storage the reader read (for the copies); it may be null.
    Doc8Writer(CDoc8& doc, const CDocStorage* source) : doc_(doc), source_(source) {}

    // Builds the output FIB from the reader's counts and tables.
    void vMakeFib();
    // Builds the whole compound file in `out`. Empty on success; when a stream could not be
    // made, the writing ends there and the reason is returned (what was made stays in `out`).
    std::string build(CompoundFileWriter& out);
    // Builds the document and serialises it into `document`; empty on success, else why the
    // document is incomplete (`document` then holds what was made).
    std::string WriteDocument(std::vector<uint8_t>& document);

    void writeDataStream(CompoundStorage& root);
    void copySourceStorage(CompoundStorage& root, bool macros);
    void writeTableStream(CompoundStorage& root);
    void WriteWordDocumentStream(CompoundStorage& root);
    void copyCompObj(CompoundStorage& root);

    // First output page of the property pages: the page after the text, at least 5.
    uint32_t firstPropertyPage() const;

    std::array<uint8_t, fib::kOutputSize> outputFib{};

  private:
    void writeTable(CompoundStream& s, uint32_t readOffset, uint32_t fibOffset);
    // Sets the FIB's fc at `fibOffset` to the stream's position.
    void fcHere(const CompoundStream& s, uint32_t fibOffset);
    // The steps of the table stream, in the order they are laid out.
    void writeStyleSheetAndNotes(CompoundStream& s);
    void writeBinTables(CompoundStream& s);
    void writePieceTable(CompoundStream& s);
    void writeKeptTables(CompoundStream& s);
    void writeLaterTables(CompoundStream& s);

    CDoc8& doc_;
    const CDocStorage* source_;
};

}  // namespace morvel
