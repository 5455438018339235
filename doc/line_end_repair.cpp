#include "doc/line_end_repair.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "doc/line_end_checks.h"
#include "platform/cfb_constants.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

// CR bytes the search may put back in one file: original CR LF pairs are rare in binary data
// (about one in 64 KiB), so a file needing more is better left to the salvage.
constexpr size_t kMaxInsertions = 256;
// Files beyond this size get only the cheap guess: the search's work grows with the number
// of FAT sectors times the CRs to place.
constexpr size_t kMaxSearchedFile = size_t{32} << 20;
// A sector with more LF bytes than this is only tried with one CR put back inside it.
constexpr size_t kMaxLfsForPairs = 32;
constexpr size_t kHeaderFieldBytes = 512;
// The bytes before the CR LF that begins every PNG file.
constexpr uint8_t kPngStart[4] = {0x89, 'P', 'N', 'G'};
// Bytes looked at on each side of an LF to tell text from binary data; a PNG file's line end
// outranks any text.
constexpr size_t kTextContext = 8;
constexpr int kPngLikelihood = 3 * kTextContext + 1;
constexpr uint32_t kFree = static_cast<uint32_t>(kCfbFreeSect);
constexpr char kWordStreamName[] = "WordDocument";

using Bytes = std::span<const uint8_t>;

bool hasSignature(Bytes b) {
    return b.size() >= sizeof kCfbSignature &&
           std::memcmp(b.data(), kCfbSignature, sizeof kCfbSignature) == 0;
}

uint32_t sectorCountOf(size_t fileSize, size_t sectorSize) {
    return static_cast<uint32_t>(
        std::min<size_t>(fileSize / sectorSize - 1, static_cast<size_t>(kFree) - 8));
}

// Where one sector of the restored file comes from: `before` CR bytes are put back ahead of
// it, so it starts at dStart of the default bytes, and one more before each LF in `inside`.
struct Placement {
    size_t dStart = 0;
    size_t before = 0;
    std::vector<size_t> inside;

    size_t after() const { return before + inside.size(); }
};

struct Anchor {
    uint32_t sector;
    SectorRole role;
    bool optional;  // a sector no placement fits is dropped instead of failing the layout
};

// Restores a file of d.size() + budget bytes from `d` (the received bytes with the CR before
// every LF removed, or as received) by putting a CR back before `budget` of its LFs, where
// the structure's sectors (header, FAT, DIFAT, directory, mini FAT, the Word stream's first
// sector) pass their checks. Between those sectors nothing tells which LFs lost their CR.
class LayoutSearch {
  public:
    LayoutSearch(Bytes d, size_t sectorSize, size_t budget)
        : d_(d), sectorSize_(sectorSize), budget_(budget), lfs_(lineFeedsIn(d, 0, d.size())) {}

    std::optional<std::vector<uint8_t>> run(bool& exact) {
        const size_t target = d_.size() + budget_;
        if (target % sectorSize_ != 0 || target / sectorSize_ < 2)
            return std::nullopt;
        context_.sectorCount = sectorCountOf(target, sectorSize_);
        std::optional<CfbHeaderFacts> header;
        const std::optional<Placement> head = placeHeader(header);
        if (!head)
            return std::nullopt;
        head_ = *head;
        fatOrder_ = header->headerFat;
        std::vector<Anchor> anchors;
        if (!addDifat(*header, anchors))
            return std::nullopt;
        for (uint32_t s : fatOrder_)
            anchors.push_back({s, SectorRole::Fat, false});
        fatSorted_ = fatOrder_;
        std::sort(fatSorted_.begin(), fatSorted_.end());
        context_.fatSectors = fatSorted_;
        context_.difatSectors = difatSorted_;

        // The FAT decides where the rest lies; of two layouts that fit it, the one whose
        // directory and mini FAT then fit too is taken.
        for (bool preferLate : {false, true}) {
            std::vector<Anchor> all = anchors;
            std::vector<Placement> placed;
            if (!placeAll(all, placed, preferLate))
                return std::nullopt;
            const std::vector<uint32_t> fat = readFat(all, placed);
            for (uint32_t s : chain(fat, header->dirStart))
                all.push_back({s, SectorRole::Directory, false});
            if (header->miniFatStart < context_.sectorCount)
                for (uint32_t s : chain(fat, header->miniFatStart))
                    all.push_back({s, SectorRole::MiniFat, false});
            if (!placeAll(all, placed, preferLate))
                continue;
            if (std::optional<uint32_t> word = wordStreamStart(all, placed)) {
                std::vector<Anchor> withWord = all;
                std::vector<Placement> wordPlaced;
                withWord.push_back({*word, SectorRole::WordStreamStart, true});
                if (placeAll(withWord, wordPlaced, preferLate)) {
                    all = std::move(withWord);
                    placed = std::move(wordPlaced);
                }
            }
            for (const Placement& p : placed)
                neededCrs_ |= p.after() > 0;
            neededCrs_ |= head_.after() > 0;
            return assemble(all, placed, exact);
        }
        return std::nullopt;
    }

    // True when the layout found holds only with CRs put back ahead of or inside one of its
    // checked sectors: the structure itself shows the conversion.
    bool neededCrs() const { return neededCrs_; }

  private:
    size_t oStartOf(uint32_t sector) const { return (size_t{sector} + 1) * sectorSize_; }
    size_t endOf(const Placement& p) const { return p.dStart + sectorSize_ - p.inside.size(); }

    std::vector<uint8_t> sectorBytes(const Placement& p) const {
        std::vector<uint8_t> out;
        out.reserve(sectorSize_);
        size_t at = p.dStart;
        size_t next = 0;
        while (out.size() < sectorSize_ && at < d_.size()) {
            if (next < p.inside.size() && p.inside[next] == at) {
                out.push_back(kCarriageReturn);
                ++next;
                if (out.size() == sectorSize_)
                    break;
            }
            out.push_back(d_[at++]);
        }
        return out;
    }

    size_t lfCount(size_t from, size_t to) const {
        if (to <= from)
            return 0;
        return static_cast<size_t>(std::lower_bound(lfs_.begin(), lfs_.end(), to) -
                                   std::lower_bound(lfs_.begin(), lfs_.end(), from));
    }

    // Every way the sector at oStart can lie, one per count of CRs before it: with no CR
    // inside when any count allows that, else with one, else with two. `fit` scores a
    // candidate (-1: impossible); only the best-scoring ways are kept.
    template <class Fit>
    std::vector<Placement> options(size_t oStart, size_t maxBefore, const Fit& fit) const {
        std::vector<Placement> out;
        int best = -1;
        const auto consider = [&](Placement& p) {
            const std::vector<uint8_t> bytes = sectorBytes(p);
            if (bytes.size() != sectorSize_)
                return false;
            const int score = fit(Bytes(bytes));
            if (score < 0 || score < best)
                return false;
            if (score > best)
                out.clear();
            best = score;
            out.push_back(p);
            return true;
        };
        const size_t last = std::min({maxBefore, budget_, oStart});
        for (size_t insideCount = 0; insideCount <= 2 && out.empty(); ++insideCount) {
            for (size_t j = 0; j <= last; ++j) {
                if (insideCount > budget_ - j)
                    break;
                Placement p;
                p.before = j;
                p.dStart = oStart - j;
                if (p.dStart >= d_.size())
                    continue;
                const std::vector<size_t> lfs =
                    lineFeedsIn(d_, p.dStart, p.dStart + sectorSize_ - insideCount);
                if (insideCount == 0) {
                    consider(p);
                } else if (insideCount == 1) {
                    for (size_t a : lfs) {
                        p.inside = {a};
                        if (consider(p))
                            break;
                    }
                } else if (lfs.size() <= kMaxLfsForPairs) {
                    bool found = false;
                    for (size_t a = 0; a < lfs.size() && !found; ++a)
                        for (size_t b = a + 1; b < lfs.size() && !found; ++b) {
                            p.inside = {lfs[a], lfs[b]};
                            found = consider(p);
                        }
                }
            }
        }
        return out;
    }

    std::optional<Placement> placeHeader(std::optional<CfbHeaderFacts>& header) const {
        const auto fit = [&](Bytes s) {
            return readCfbHeader(s.first(std::min(s.size(), kHeaderFieldBytes)), sectorSize_,
                                 context_.sectorCount)
                       ? 0
                       : -1;
        };
        const std::vector<Placement> heads = options(0, 0, fit);
        if (heads.empty())
            return std::nullopt;
        const std::vector<uint8_t> bytes = sectorBytes(heads.front());
        header =
            readCfbHeader(Bytes(bytes).first(kHeaderFieldBytes), sectorSize_, context_.sectorCount);
        return heads.front();
    }

    // The DIFAT chain: its sectors, and the FAT sectors it lists after the header's.
    bool addDifat(const CfbHeaderFacts& h, std::vector<Anchor>& anchors) {
        uint32_t cur = h.difStart;
        std::vector<bool> seen(context_.sectorCount, false);
        for (uint32_t n = 0; n < h.csectDif && cur < context_.sectorCount && !seen[cur]; ++n) {
            seen[cur] = true;
            const auto fit = [&](Bytes s) { return sectorFit(SectorRole::Difat, s, context_); };
            const std::vector<Placement> ways = options(oStartOf(cur), budget_, fit);
            if (ways.empty())
                return false;
            anchors.push_back({cur, SectorRole::Difat, false});
            difatSorted_.push_back(cur);
            const std::vector<uint8_t> s = sectorBytes(ways.front());
            for (size_t i = 0; i + 4 < s.size(); i += 4) {
                const uint32_t v = readU32LE(s, i);
                if (v < context_.sectorCount && fatOrder_.size() < h.csectFat)
                    fatOrder_.push_back(v);
            }
            cur = readU32LE(s, s.size() - 4);
        }
        std::sort(difatSorted_.begin(), difatSorted_.end());
        return true;
    }

    static void sortAnchors(std::vector<Anchor>& anchors) {
        std::stable_sort(anchors.begin(), anchors.end(),
                         [](const Anchor& a, const Anchor& b) { return a.sector < b.sector; });
        anchors.erase(
            std::unique(anchors.begin(), anchors.end(),
                        [](const Anchor& a, const Anchor& b) { return a.sector == b.sector; }),
            anchors.end());
    }

    // True when `next` can follow a sector that ends at prevEnd with prevAfter CRs put back
    // before its end: the CRs between them need LFs of their own.
    bool follows(size_t prevEnd, size_t prevAfter, const Placement& next) const {
        return next.before >= prevAfter && next.dStart >= prevEnd &&
               lfCount(prevEnd, next.dStart) >= next.before - prevAfter;
    }

    // Places every anchor in sector order so that each follows the one before and the CRs
    // left for the tail fit there; of the layouts that work, the one with the fewest (or
    // most) CRs before each anchor in turn. Optional anchors that fit nowhere are dropped.
    bool placeAll(std::vector<Anchor>& anchors, std::vector<Placement>& placed,
                  bool preferLate) const {
        sortAnchors(anchors);
        std::vector<std::vector<Placement>> ways;
        std::vector<Anchor> kept;
        for (const Anchor& a : anchors) {
            SectorContext c = context_;
            if (a.role == SectorRole::Fat)
                c.fatIndex = static_cast<uint32_t>(
                    std::find(fatOrder_.begin(), fatOrder_.end(), a.sector) - fatOrder_.begin());
            const auto fit = [&](Bytes s) { return sectorFit(a.role, s, c); };
            std::vector<Placement> w = options(oStartOf(a.sector), budget_, fit);
            if (w.empty()) {
                if (a.optional)
                    continue;
                return false;
            }
            kept.push_back(a);
            ways.push_back(std::move(w));
        }
        const size_t n = ways.size();
        // ok[i][x]: way x of anchor i leads to a complete layout.
        std::vector<std::vector<bool>> ok(n);
        for (size_t i = n; i-- > 0;) {
            ok[i].assign(ways[i].size(), false);
            for (size_t x = 0; x < ways[i].size(); ++x) {
                const Placement& p = ways[i][x];
                if (i + 1 == n) {
                    ok[i][x] =
                        p.after() <= budget_ && lfCount(endOf(p), d_.size()) >= budget_ - p.after();
                    continue;
                }
                for (size_t y = 0; y < ways[i + 1].size() && !ok[i][x]; ++y)
                    ok[i][x] = ok[i + 1][y] && follows(endOf(p), p.after(), ways[i + 1][y]);
            }
        }
        placed.clear();
        size_t prevEnd = endOf(head_), prevAfter = head_.after();
        for (size_t i = 0; i < n; ++i) {
            std::optional<size_t> pick;
            for (size_t x = 0; x < ways[i].size(); ++x) {
                if (!ok[i][x] || !follows(prevEnd, prevAfter, ways[i][x]))
                    continue;
                pick = x;
                if (!preferLate)
                    break;
            }
            if (!pick)
                return false;
            placed.push_back(ways[i][*pick]);
            prevEnd = endOf(placed.back());
            prevAfter = placed.back().after();
        }
        if (n == 0 && lfCount(prevEnd, d_.size()) < budget_ - std::min(budget_, prevAfter))
            return false;
        anchors = std::move(kept);
        return true;
    }

    // The FAT in the order the header and the DIFAT list its sectors.
    std::vector<uint32_t> readFat(const std::vector<Anchor>& anchors,
                                  const std::vector<Placement>& placed) const {
        std::vector<uint32_t> fat;
        for (uint32_t sector : fatOrder_) {
            const auto it =
                std::lower_bound(anchors.begin(), anchors.end(), sector,
                                 [](const Anchor& a, uint32_t s) { return a.sector < s; });
            if (it == anchors.end() || it->sector != sector)
                break;
            const std::vector<uint8_t> s = sectorBytes(placed[it - anchors.begin()]);
            for (size_t k = 0; k + 4 <= s.size(); k += 4)
                fat.push_back(readU32LE(s, k));
        }
        return fat;
    }

    std::vector<uint32_t> chain(const std::vector<uint32_t>& fat, uint32_t start) const {
        std::vector<uint32_t> out;
        std::vector<bool> seen(context_.sectorCount, false);
        for (uint32_t s = start; s < context_.sectorCount && s < fat.size() && !seen[s];
             s = fat[s]) {
            seen[s] = true;
            out.push_back(s);
        }
        return out;
    }

    // The first sector of the WordDocument stream, from the placed directory sectors.
    std::optional<uint32_t> wordStreamStart(const std::vector<Anchor>& anchors,
                                            const std::vector<Placement>& placed) const {
        for (size_t i = 0; i < anchors.size(); ++i) {
            if (anchors[i].role != SectorRole::Directory)
                continue;
            const std::vector<uint8_t> s = sectorBytes(placed[i]);
            for (size_t e = 0; e + kCfbDirEntrySize <= s.size(); e += kCfbDirEntrySize) {
                const Bytes entry = Bytes(s).subspan(e, kCfbDirEntrySize);
                if (entry[kCfbEntryType] != kCfbTypeStream ||
                    readU16LE(entry, kCfbEntryNameLength) != 2 * sizeof kWordStreamName)
                    continue;
                bool same = true;
                for (size_t c = 0; c + 1 < sizeof kWordStreamName; ++c)
                    same &= readU16LE(entry, 2 * c) == static_cast<uint8_t>(kWordStreamName[c]);
                const uint32_t start = readU32LE(entry, kCfbEntryStart);
                if (same &&
                    readU32LE(entry, kCfbEntrySize) >=
                        static_cast<uint32_t>(kCfbMiniStreamCutoff) &&
                    start < context_.sectorCount)
                    return start;
            }
        }
        return std::nullopt;
    }

    // How likely the LF at p had a CR before it: a PNG file's first bytes hold one, and a
    // line end inside text (an XML part, a PDF's dictionary) usually is a CR LF, the more
    // so the more text surrounds it; nothing tells for an LF amid binary data.
    int lineEndLikelihood(size_t p) const {
        if (p >= sizeof kPngStart &&
            std::memcmp(d_.data() + p - sizeof kPngStart, kPngStart, sizeof kPngStart) == 0)
            return kPngLikelihood;
        const auto texty = [&](size_t at) {
            const uint8_t c = readU8(d_, at);
            return (c >= 0x20 && c < 0x7F) || c == '\t' || c == kLineFeed || c == kCarriageReturn;
        };
        // The text before a line end says more than what follows it: a line ends a text.
        int text = 0;
        for (size_t i = 1; i <= kTextContext; ++i)
            text += 2 * (p >= i && texty(p - i)) + texty(p + i);
        return text;
    }

    // Picks `k` LFs in [from, to) to put a CR before, the likeliest first and, among equals,
    // the last ones of the gap. Exact only when the choice was forced.
    bool fillGap(size_t from, size_t to, size_t k, std::vector<size_t>& out, bool& exact) const {
        if (k == 0)
            return true;
        std::vector<size_t> lfs = lineFeedsIn(d_, from, to);
        if (lfs.size() < k)
            return false;
        if (lfs.size() > k)
            exact = false;
        std::vector<int> score(lfs.size());
        for (size_t i = 0; i < lfs.size(); ++i)
            score[i] = lineEndLikelihood(lfs[i]);
        std::vector<size_t> order(lfs.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return score[a] != score[b] ? score[a] > score[b] : a > b;
        });
        for (size_t i = 0; i < k; ++i)
            out.push_back(lfs[order[i]]);
        return true;
    }

    std::optional<std::vector<uint8_t>> assemble(const std::vector<Anchor>& anchors,
                                                 const std::vector<Placement>& placed,
                                                 bool& exact) const {
        exact = true;
        std::vector<size_t> positions(head_.inside);
        size_t prevAfter = head_.after();
        size_t prevEnd = endOf(head_);
        for (size_t i = 0; i < anchors.size(); ++i) {
            const Placement& p = placed[i];
            if (!fillGap(prevEnd, p.dStart, p.before - prevAfter, positions, exact))
                return std::nullopt;
            positions.insert(positions.end(), p.inside.begin(), p.inside.end());
            prevAfter = p.after();
            prevEnd = endOf(p);
        }
        if (prevAfter > budget_ ||
            !fillGap(prevEnd, d_.size(), budget_ - prevAfter, positions, exact))
            return std::nullopt;
        std::sort(positions.begin(), positions.end());
        std::vector<uint8_t> out = insertCrBefore(d_, positions);
        if (out.size() != d_.size() + budget_)
            return std::nullopt;
        return out;
    }

    Bytes d_;
    size_t sectorSize_;
    size_t budget_;
    std::vector<size_t> lfs_;
    SectorContext context_;
    Placement head_;
    std::vector<uint32_t> fatOrder_, fatSorted_, difatSorted_;
    bool neededCrs_ = false;
};

// How much of the structure holds where it is in `b`: the header (1), each FAT sector the
// header lists (1 each) and the directory's sectors (1 when all fit); 0 without a readable
// header. `whole` when all of it holds.
size_t structureScore(Bytes b, bool& whole) {
    whole = false;
    const size_t sectorSize = cfbSectorSizeOf(b);
    if (sectorSize == 0 || b.size() < 2 * sectorSize)
        return 0;
    SectorContext c;
    c.sectorCount = sectorCountOf(b.size(), sectorSize);
    const std::optional<CfbHeaderFacts> h =
        readCfbHeader(b.first(kHeaderFieldBytes), sectorSize, c.sectorCount);
    if (!h)
        return 0;
    std::vector<uint32_t> sorted = h->headerFat;
    std::sort(sorted.begin(), sorted.end());
    c.fatSectors = sorted;
    const auto sectorAt = [&](uint32_t s) {
        const size_t at = (size_t{s} + 1) * sectorSize;
        return fits(b, at, sectorSize) ? b.subspan(at, sectorSize) : Bytes();
    };
    size_t score = 1;
    std::vector<uint32_t> fat;
    for (size_t i = 0; i < h->headerFat.size(); ++i) {
        const Bytes sector = sectorAt(h->headerFat[i]);
        c.fatIndex = static_cast<uint32_t>(i);
        if (!sector.empty() && sectorFit(SectorRole::Fat, sector, c) >= 0)
            ++score;
        for (size_t k = 0; k + 4 <= sector.size(); k += 4)
            fat.push_back(readU32LE(sector, k));
    }
    if (score != h->headerFat.size() + 1)
        return score;
    std::vector<bool> seen(c.sectorCount, false);
    for (uint32_t s = h->dirStart; s < c.sectorCount && s < fat.size() && !seen[s]; s = fat[s]) {
        seen[s] = true;
        const Bytes sector = sectorAt(s);
        if (sector.empty() || sectorFit(SectorRole::Directory, sector, c) < 0)
            return score;
    }
    whole = true;
    return score + 1;
}

}  // namespace

LineEndRepair undoCompoundFileLineEnds(std::span<const uint8_t> file) {
    LineEndRepair none;
    if (!hasSignature(file) || file.size() < kHeaderFieldBytes)
        return none;
    const LineEndConversion conversion = possibleConversionOf(file);
    if (conversion == LineEndConversion::None)
        return none;
    // A file whose header, FAT and directory hold where they are is left as it is, whatever
    // its size: a file cut short is no converted one.
    bool whole = false;
    const size_t asIsScore = structureScore(file, whole);
    if (whole)
        return none;

    std::vector<uint8_t> d = conversion == LineEndConversion::LfToCrLf
                                 ? dropCrBeforeLf(file)
                                 : std::vector<uint8_t>(file.begin(), file.end());
    const size_t sectorSize = cfbSectorSizeOf(d);
    if (sectorSize == 0)
        return none;
    LineEndRepair r;
    r.conversion = conversion;
    const auto finish = [&](std::vector<uint8_t>&& bytes, bool exact) {
        r.exact = exact;
        if (bytes.size() < file.size())
            r.crsRemoved = file.size() - bytes.size();
        else
            r.crsInserted = bytes.size() - file.size();
        r.bytes = std::move(bytes);
        return r;
    };
    if (d.size() <= kMaxSearchedFile) {
        const size_t first = (sectorSize - d.size() % sectorSize) % sectorSize;
        for (size_t budget = first; budget <= kMaxInsertions; budget += sectorSize) {
            bool exact = false;
            LayoutSearch search(d, sectorSize, budget);
            std::optional<std::vector<uint8_t>> out = search.run(exact);
            // Received LFs are only taken for lost CR LFs when the structure needs that.
            if (out && conversion == LineEndConversion::CrLfToLf && !search.neededCrs())
                out.reset();
            if (out && !std::equal(out->begin(), out->end(), file.begin(), file.end()))
                return finish(std::move(*out), exact);
        }
    }
    // No layout fits: the CRs the transfer added are the likelier guess, as long as the
    // structure holds better without them.
    bool dWhole = false;
    if (conversion == LineEndConversion::LfToCrLf && structureScore(d, dWhole) > asIsScore)
        return finish(std::move(d), false);
    return none;
}

}  // namespace morvel
