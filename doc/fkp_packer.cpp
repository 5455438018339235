#include "doc/fkp_packer.h"

#include <algorithm>

#include "platform/le_reader.h"

namespace morvel {

namespace {

// The largest property set a character page can store: its length is one byte.
constexpr uint32_t kMaxChpxBytes = 255;
// The largest property set that fits an otherwise empty paragraph page with its run entry.
constexpr uint32_t kMaxPapxBytes = 486;

// A page being filled from both ends: run positions and per-run entries from the front,
// property sets from the back.
struct PageBuilder {
    std::array<uint8_t, 512> bytes{};
    std::vector<uint32_t> fcs;         // fcs[0] is the page's first position
    std::vector<uint8_t> entryOffset;  // word offset per run (0: no properties)
    std::vector<std::array<uint8_t, 12>> phes;
    std::vector<size_t> runIndex;  // the run of each entry
    uint32_t freeOffset = 510;
    uint32_t used = 5;

    explicit PageBuilder(uint32_t firstFc) { fcs.push_back(firstFc); }
    // Begins the next page, keeping the lists' room so that pages cost no allocation.
    void restart(uint32_t firstFc) {
        bytes.fill(0);
        fcs.assign(1, firstFc);
        entryOffset.clear();
        phes.clear();
        runIndex.clear();
        freeOffset = 510;
        used = 5;
    }
    size_t crun() const { return entryOffset.size(); }

    FkpPage finish(bool paragraph) const {
        FkpPage page;
        page.bytes = bytes;
        std::span<uint8_t> out(page.bytes);
        for (size_t i = 0; i < fcs.size(); ++i)
            writeU32LE(out, 4 * i, fcs[i]);
        size_t pos = 4 * fcs.size();
        for (size_t i = 0; i < entryOffset.size(); ++i) {
            out[pos++] = entryOffset[i];
            if (paragraph)
                for (uint8_t b : phes[i])
                    out[pos++] = b;
        }
        out[511] = static_cast<uint8_t>(crun());
        page.lastFc = fcs.back();
        return page;
    }
};

// Writes the sprms so that they end at `top` (inclusive), last sprm highest; returns the
// offset of the first byte written.
uint32_t writeSprmsDown(std::array<uint8_t, 512>& bytes, uint32_t top, const PropertyRuns& runs,
                        const PropertyRun& run, bool honourDropped) {
    uint32_t pos = top + 1;
    const std::span<const SprmRecord> sprms = runs.sprms(run);
    for (auto it = sprms.rbegin(); it != sprms.rend(); ++it) {
        if ((honourDropped && it->dropped) || it->size > 512)
            continue;
        const std::span<const uint8_t> operand = runs.operand(*it);
        pos -= static_cast<uint32_t>(operand.size());
        std::copy(operand.begin(), operand.end(), bytes.begin() + pos);
        bytes[--pos] = static_cast<uint8_t>(it->opcode >> 8);
        bytes[--pos] = static_cast<uint8_t>(it->opcode);
    }
    return pos;
}

void capChpx(PropertyRuns& runs, const PropertyRun& run) {
    const std::span<SprmRecord> sprms = runs.sprms(run);
    for (auto it = sprms.rbegin(); it != sprms.rend() && runs.byteCount(run) > kMaxChpxBytes; ++it)
        it->dropped = true;
}

void capPapx(PropertyRuns& runs, PropertyRun& run) {
    while (run.sprmCount > 0 && runs.byteCount(run, false) > kMaxPapxBytes)
        runs.dropLastSprm(run);
}

// The word offset of an equal property set already on the page, or 0.
uint8_t sharedOffset(const PageBuilder& page, const PropertyRuns& runs, const PropertyRun& run) {
    for (size_t k = 0; k < page.runIndex.size(); ++k)
        if (page.entryOffset[k] != 0 && runs.sameProperties(runs[page.runIndex[k]], run))
            return page.entryOffset[k];
    return 0;
}

}  // namespace

std::vector<FkpPage> packChpxPages(PropertyRuns& runs, const std::function<void()>& onPageDone) {
    for (const PropertyRun& run : runs)
        capChpx(runs, run);
    std::vector<FkpPage> pages;
    PageBuilder page(kOutputFcMin);
    for (size_t r = 0; r < runs.size(); ++r) {
        const PropertyRun& run = runs[r];
        if (run.outputPos < static_cast<int32_t>(kOutputTextStart))
            continue;
        page.fcs.push_back(static_cast<uint32_t>(run.outputPos));
        page.used += 4;
        uint8_t offset = run.sprmCount == 0 ? 0 : sharedOffset(page, runs, run);
        if (run.sprmCount == 0 || offset != 0) {
            page.used += 1;
        } else {
            const uint32_t count = runs.byteCount(run);
            // The set's length byte must land on an even offset.
            if ((page.freeOffset - count) % 2 != 0) {
                page.bytes[page.freeOffset--] = 0;
                page.used += 1;
            }
            const uint32_t start = writeSprmsDown(page.bytes, page.freeOffset, runs, run, true) - 1;
            page.bytes[start] = static_cast<uint8_t>(count);
            offset = static_cast<uint8_t>(start / 2);
            page.freeOffset = start - 1;
            page.used += 2 + count;
        }
        page.entryOffset.push_back(offset);
        page.runIndex.push_back(r);
        if (r + 1 == runs.size()) {
            pages.push_back(page.finish(false));
            break;
        }
        if (page.used + 6 + runs.byteCount(runs[r + 1]) >= 512) {
            pages.push_back(page.finish(false));
            page.restart(static_cast<uint32_t>(run.outputPos));
            if (onPageDone)
                onPageDone();
        }
    }
    return pages;
}

std::vector<FkpPage> packPapxPages(PropertyRuns& runs, const std::function<void()>& onPageDone) {
    for (PropertyRun& run : runs)
        capPapx(runs, run);
    std::vector<FkpPage> pages;
    PageBuilder page(kOutputFcMin);
    for (size_t r = 0; r < runs.size(); ++r) {
        const PropertyRun& run = runs[r];
        if (run.outputPos < static_cast<int32_t>(kOutputTextStart))
            continue;
        page.fcs.push_back(static_cast<uint32_t>(run.outputPos));
        page.phes.push_back(run.phe);
        page.used += 4;
        uint8_t offset = page.entryOffset.empty() ? 0 : sharedOffset(page, runs, run);
        if (offset == 0) {
            const uint32_t count = runs.byteCount(run, false);
            // The set's bytes end on an odd offset so that it starts on an even one: an even
            // count is stored as a zero byte and count / 2 words, an odd one as
            // (count + 1) / 2 words of which the last byte is unused.
            if (page.freeOffset % 2 == 0) {
                page.bytes[page.freeOffset--] = 0;
                page.used += 1;
            }
            uint32_t start = writeSprmsDown(page.bytes, page.freeOffset, runs, run, false) - 1;
            if (count % 2 == 0) {
                page.bytes[start] = static_cast<uint8_t>(count / 2);
                page.bytes[--start] = 0;
                page.used += 1;
            } else {
                page.bytes[start] = static_cast<uint8_t>((count + 1) / 2);
            }
            page.used += 1 + count;
            offset = static_cast<uint8_t>(start / 2);
            page.freeOffset = start - 1;
        }
        page.entryOffset.push_back(offset);
        page.runIndex.push_back(r);
        page.used += 1 + 12;
        if (r + 1 == runs.size()) {
            pages.push_back(page.finish(true));
            break;
        }
        // A new set costs its entry (4 + 1 + 12), its bytes, a length byte and at most one
        // zero byte.
        if (page.used + 19 + runs.byteCount(runs[r + 1], false) > 512) {
            pages.push_back(page.finish(true));
            page.restart(static_cast<uint32_t>(run.outputPos));
            if (onPageDone)
                onPageDone();
        }
    }
    return pages;
}

}  // namespace morvel
