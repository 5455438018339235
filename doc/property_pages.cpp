#include "doc/property_pages.h"

#include <algorithm>
#include <array>

#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr size_t kPage = 512;
constexpr uint32_t kMaxChpSprm = 288;

std::array<uint8_t, kPage> readPage(std::span<const uint8_t> stream, uint32_t pn) {
    std::array<uint8_t, kPage> page{};
    const uint64_t at = static_cast<uint64_t>(pn) * kPage;
    for (size_t i = 0; i < kPage && at + i < stream.size(); ++i)
        page[i] = stream[at + i];
    return page;
}

// Reads the sprms of one property set: `length` bytes from `pos` of the page, into the run
// added last. Operand bytes past the page read as 0.
void readSprms(std::span<const uint8_t> page, size_t pos, int32_t length, bool paragraph,
               PropertyRuns& runs) {
    std::array<uint8_t, kPage> operand{};
    while (length >= 2) {
        const uint16_t opcode = readU16LE(page, pos);
        const uint32_t size = sprmSize(opcode, readU8(page, pos + 2), paragraph);
        if (!paragraph && size > kMaxChpSprm)
            return;  // a damaged set: keep what came before it
        // The operand bytes inside the page, then zeros for those past its end.
        const size_t from = std::min(pos + 2, page.size());
        const size_t inPage = std::min<size_t>(size - 2, page.size() - from);
        std::copy_n(page.begin() + static_cast<std::ptrdiff_t>(from), inPage, operand.begin());
        std::fill(operand.begin() + static_cast<std::ptrdiff_t>(inPage),
                  operand.begin() + (size - 2), 0);
        runs.addSprm(opcode, std::span<const uint8_t>(operand.data(), size - 2));
        pos += size;
        length -= static_cast<int32_t>(size);
    }
}

// Parses the runs of an accepted page that ends (in the bin table) at `pageEnd`.
void parsePage(std::span<const uint8_t> page, int64_t pageEnd, bool paragraph, PropertyRuns& runs) {
    const uint32_t crun = page[kPage - 1];
    const size_t entries = 4 * crun + 4;
    for (uint32_t i = 0; i < crun; ++i) {
        const int32_t end = readI32LE(page, 4 * i + 4);
        if (end < 0 || end > pageEnd)
            continue;
        const size_t entry = entries + (paragraph ? 13 * i : i);
        const uint8_t offset = readU8(page, entry);
        if (paragraph && offset == 0)
            continue;
        PropertyRun& run = runs.add(end);
        if (paragraph) {
            for (size_t k = 0; k < 12; ++k)
                run.phe[k] = readU8(page, entry + 1 + k);
        }
        if (offset != 0) {
            const size_t start = 2u * offset;
            int32_t length = readU8(page, start);
            size_t pos = start + 1;
            if (length == 0) {
                length = readU8(page, start + 1);
                pos = start + 2;
            }
            if (paragraph)
                length *= 2;
            readSprms(page, pos, length, paragraph, runs);
        }
    }
}

struct BinTable {
    std::span<const uint8_t> bytes;
    uint32_t n;
    int64_t fc(uint32_t i) const { return readI32LE(bytes, 4 * i); }
    uint32_t pn(uint32_t i) const { return readU32LE(bytes, 4 * (n + 1) + 4 * i); }
};

BinTable binTableOf(std::span<const uint8_t> bytes) {
    return BinTable{bytes, binTablePageCount(static_cast<uint32_t>(bytes.size()))};
}

// The end of the last accepted page, forgotten at a rejected one.
struct LastPosition {
    bool known = false;
    int32_t value = 0;
    bool continuedBy(int32_t first) const { return !known || value == first; }
};

// The runs the pages of a bin table can hold at most, counting each page of the stream once:
// a bin table that lists one page over and over makes no larger room.
size_t runRoom(const BinTable& bin, size_t streamSize, size_t runsPerPage) {
    return std::min<size_t>(bin.n, streamSize / kPage + 1) * runsPerPage;
}

bool firstFits(int32_t first, size_t streamSize) {
    return first >= 0 && static_cast<size_t>(first) <= streamSize;
}

}  // namespace

void readChpRuns(std::span<const uint8_t> binTable, const PropertySource& src, PropertyRuns& runs) {
    const BinTable bin = binTableOf(binTable);
    // Up to 100 runs a page, and one added run around each rejected page.
    runs.reserveMore(runRoom(bin, src.wordDocument.size(), 101));
    LastPosition lastPos;
    int64_t lastBadPage = 0;
    for (uint32_t i = 0; i < bin.n; ++i) {
        if (src.onPage)
            src.onPage();
        const std::array<uint8_t, kPage> page = readPage(src.wordDocument, bin.pn(i));
        const uint32_t crun = page[kPage - 1];
        const int32_t first = readI32LE(page, 0);
        const bool accepted =
            crun <= 100 && firstFits(first, src.wordDocument.size()) && lastPos.continuedBy(first);
        if (!accepted) {
            if (src.findings)
                src.findings->note(FindingGrade::Incorrect, docfinding::kFkpPageRefused, i);
            lastBadPage = i;
            if (lastPos.known)
                runs.add(lastPos.value + 2);
            lastPos.known = false;
            continue;
        }
        if (lastBadPage >= 1 && i == lastBadPage + 1) {
            runs.add(first);
            runs.addSprmU32(kSprmMarker, kResyncMarker);
        }
        parsePage(page, bin.fc(i + 1), false, runs);
        lastPos = {true, readI32LE(page, 4 * crun)};
    }
}

namespace {

// The row state of table paragraphs while paragraph pages are read.
struct TableTracker {
    int pending = 0;         // table paragraphs of the current row
    int rowCells = 0;        // cells of the last complete row
    bool rowEndSeen = true;  // in step with row boundaries (lost at a rejected page)

    void examine(const PropertyRuns& runs, PropertyRun& run) {
        for (const SprmRecord& s : runs.sprms(run)) {
            if (s.opcode == kSprmTableInData) {
                if (!rowEndSeen)
                    run.fc = 0;
                rowCells = pending + 1;
                pending = 0;
                rowEndSeen = true;
                return;
            }
            if (s.opcode == kSprmTableDepth) {
                if (!rowEndSeen)
                    run.fc = 0;
                pending += 1;
            }
        }
    }

    void cellMark(bool afterCellMark) {
        if (afterCellMark &&
            ((pending == rowCells && rowCells > 0) || (pending > 0 && rowCells == 0))) {
            rowCells = pending;
            pending = 0;
        } else {
            pending += 1;
        }
    }
};

// Scans the text of rejected paragraph pages for cell marks. A page's source range is scanned
// piece by piece; when the pieces lie in ascending order without overlaps, as Word writes
// them, only the pieces that meet the range are visited. A crafted bin table can list one
// page's range over and over, and crafted pieces can overlap, so all the scans together get
// a budget many times the text and the pieces: once it is spent, the remaining rejected
// pages are not scanned.
class CellMarkScanner {
  public:
    explicit CellMarkScanner(const PropertySource& src) : src_(src) {
        if (!src.pieces)
            return;
        const std::vector<Piece>& pieces = *src.pieces;
        for (size_t k = 1; k < pieces.size() && ordered_; ++k)
            ordered_ = endOf(pieces[k - 1]) <= pieces[k].fc;
        budget_ = kBudgetFloor + kBudgetFactor * (static_cast<int64_t>(src.text.size() / 2) +
                                                  static_cast<int64_t>(pieces.size()));
    }

    // Scans [from, to); returns the index of the piece where the scan stopped.
    size_t scan(int64_t from, int64_t to, TableTracker& rows) {
        if (!src_.pieces || src_.pieces->empty())
            return 0;
        const std::vector<Piece>& pieces = *src_.pieces;
        size_t stopped = pieces.size() - 1;
        size_t first = 0, last = pieces.size();
        if (ordered_) {
            // Ascending, disjoint pieces have ascending ends too.
            const auto meets = std::partition_point(
                pieces.begin(), pieces.end(), [from](const Piece& p) { return endOf(p) <= from; });
            const auto past = std::partition_point(meets, pieces.end(),
                                                   [to](const Piece& p) { return p.fc < to; });
            first = static_cast<size_t>(meets - pieces.begin());
            last = static_cast<size_t>(past - pieces.begin());
        }
        bool previousWasCell = false;
        for (size_t k = first; k < last; ++k) {
            if (--budget_ < 0)
                return stopped;
            const Piece& p = pieces[k];
            const int64_t width = p.is16Bit ? 2 : 1;
            const int64_t lo = std::max<int64_t>(from, p.fc);
            const int64_t hi = std::min<int64_t>(to, endOf(p));
            if (lo >= hi)
                continue;
            stopped = k;
            const int64_t textBase = p.outputPos - 2048;
            for (int64_t pos = lo; pos + width <= hi; pos += width) {
                if (--budget_ < 0)
                    return stopped;
                const int64_t unitAt = textBase + 2 * ((pos - p.fc) / width);
                const uint16_t unit = readU16LE(src_.text, static_cast<size_t>(unitAt));
                if (unit == 7) {
                    rows.cellMark(previousWasCell);
                    previousWasCell = true;
                } else {
                    previousWasCell = false;
                }
            }
        }
        return stopped;
    }

  private:
    static constexpr int64_t kBudgetFloor = int64_t{1} << 24;
    static constexpr int64_t kBudgetFactor = 16;

    static int64_t endOf(const Piece& p) {
        return p.fc + (p.is16Bit ? 2 : 1) * static_cast<int64_t>(p.count);
    }

    const PropertySource& src_;
    bool ordered_ = true;
    int64_t budget_ = 0;
};

}  // namespace

void readPapRuns(std::span<const uint8_t> binTable, const PropertySource& src, PropertyRuns& runs) {
    const BinTable bin = binTableOf(binTable);
    runs.reserveMore(runRoom(bin, src.wordDocument.size(), 30));
    LastPosition lastPos;
    TableTracker rows;
    bool lastRejected = false;
    size_t stoppedPiece = 0;
    CellMarkScanner cellMarks(src);
    for (uint32_t i = 0; i < bin.n; ++i) {
        if (src.onPage)
            src.onPage();
        const std::array<uint8_t, kPage> page = readPage(src.wordDocument, bin.pn(i));
        const uint32_t crun = page[kPage - 1];
        const int32_t first = readI32LE(page, 0);
        const bool accepted =
            crun < 30 && firstFits(first, src.wordDocument.size()) && lastPos.continuedBy(first);
        lastRejected = !accepted;
        if (accepted) {
            const size_t before = runs.size();
            parsePage(page, bin.fc(i + 1), true, runs);
            for (size_t r = before; r < runs.size(); ++r)
                rows.examine(runs, runs[r]);
            lastPos = {true, readI32LE(page, 4 * crun)};
            continue;
        }
        if (src.findings)
            src.findings->note(FindingGrade::Incorrect, docfinding::kFkpPageRefused, i);
        lastPos.known = false;
        rows.rowEndSeen = false;
        for (size_t r = runs.size(); r-- > 0 && rows.pending >= 1;) {
            if (runs.has(runs[r], kSprmTableDepth)) {
                runs[r].fc = 0;
                rows.pending -= 1;
            }
        }
        stoppedPiece = cellMarks.scan(bin.fc(i), bin.fc(i + 1), rows);
    }
    if (lastRejected && src.pieces && !src.pieces->empty()) {
        const Piece& p = (*src.pieces)[stoppedPiece];
        runs.add(p.fc + p.count * (p.is16Bit ? 2 : 1));
        runs.addSprmU8(kSprmEndMarker, 0);
    }
}

}  // namespace morvel
