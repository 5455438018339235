#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "doc/c_doc.h"
#include "doc/doc8_streams.h"
#include "doc/doc_context.h"
#include "doc/fkp_packer.h"
#include "doc/list_tables.h"
#include "doc/piece_table.h"
#include "doc/property_run.h"

namespace morvel {

// Which table stream a document uses.
enum class TableChoice { None, Table1, Table0 };

// The table stream by the FIB flags and the streams present: "1Table" when present, replaced
// by "0Table" when that is present; with the table-stream bit (0x0200) set a chosen table
// becomes "1Table" again, even when only "0Table" exists (which leaves no table).
TableChoice vWhichTable(uint16_t fibFlags, bool has1Table, bool has0Table);

// True when the FIB's identifier and version are both zero: a wiped FIB, which no version
// of Word writes.
bool fibWiped(std::span<const uint8_t> fibBytes);

// One table of the table stream as the FIB pointed at it, kept whole for the writer.
struct FibTable {
    std::vector<uint8_t> bytes;
    int32_t fc = 0;
    int32_t lcb = 0;
};

// One section: the position of its properties in the source and their sprm bytes.
struct SectionRecord {
    int32_t fcSepx = 0;          // as the source's section table gave it
    std::vector<uint8_t> sprms;  // empty for an empty section
};

// One block of the output Data stream (table properties or a picture).
struct DataBlock {
    int32_t oldOffset = 0;
    int32_t newOffset = 0;
    int32_t length = 0;
    std::vector<uint8_t> bytes;
};

// One picture of the drawing group's picture store.
struct PictureStoreRecord {
    std::vector<uint8_t> blip;  // header and body
    int32_t h = 0;              // locates the picture store inside DggInfo
    int32_t foDelayAt = 0;      // where the picture's position lies inside DggInfo
    int32_t blipLength = 0;
};

// The Word 97-2003 reader. It keeps every table the writer copies, the text, the pieces, the
// runs and their packed output pages.
class CDoc8 : public CDoc {
  public:
    CDoc8(Doc8Streams streams, DocContext& ctx);

    void vReadPiecesText(uint32_t codePage) override;
    int ReadDocument(uint32_t codePage) override;
    int ReadPapProperty() override;
    int ReadChpProperty() override;
    void vMakeChpxFkp() override;
    int GetPictureType(int32_t offset, int32_t length) override;

    // Packs the kept paragraph runs into output pages (after their Data blocks are moved).
    void vMakePapxFkp();
    // Reads the drawing group's picture store (after ReadDocument).
    void ReadPictureStore();

    // What the read found.
    int version = -1;
    uint16_t fibFlags = 0;
    TableChoice tableChoice = TableChoice::None;
    bool fibRebuilt = false;
    std::array<uint8_t, 1536> fib{};
    int32_t ccpText = 0, ccpFtn = 0, ccpHdd = 0, ccpMcr = 0, ccpAtn = 0, ccpEdn = 0, ccpTxbx = 0,
            ccpHdrTxbx = 0;
    std::vector<Piece> pieces;
    std::vector<uint8_t> text;                // UTF-16LE
    PropertyRuns chpRuns, papRuns;            // kept (compacted) after ReadDocument
    size_t chpRunsRead = 0, papRunsRead = 0;  // before compaction
    std::vector<FkpPage> chpxPages, papxPages;
    std::map<uint32_t, FibTable> tables;  // by FIB fc offset
    std::vector<SectionRecord> sections;
    std::vector<DataBlock> dataBlocks;
    std::vector<PictureStoreRecord> pictureStore;
    int pictureRuns = 0, picturesDropped = 0;
    ListTablesRead listTables;  // the list tables kept in `tables`, or why they were not

    const FibTable* table(uint32_t fcOffset) const;
    FibTable* table(uint32_t fcOffset);
    const Doc8Streams& streams() const { return streams_; }
    std::span<const uint8_t> tableStream() const;
    std::span<const uint8_t> dataStream() const;

  private:
    void readFib();
    void vReadSTSH();
    void readSections(const FibTable& sed);
    void recount(PropertyRuns& runs, const PieceLookup& lookup);
    void compact(PropertyRuns& runs);
    void addEndRuns();
    void moveDataBlocks();
    int32_t copyDataBlock(int32_t oldOffset);
    void stepProgress();

    Doc8Streams streams_;
    DocContext& ctx_;
    bool piecesRead_ = false;
};

}  // namespace morvel
