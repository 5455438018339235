#include "doc/piece_table.h"

#include <algorithm>

#include "platform/large_buffer.h"
#include "platform/le_reader.h"
#include "platform/windows1252.h"

namespace morvel {

namespace {

constexpr uint32_t kCompressedBit = 0x40000000;
constexpr size_t kChunk = 512;

// Copies [from, from + count) of the stream into a zeroed buffer; bytes outside stay zero.
std::vector<uint8_t> copyOut(std::span<const uint8_t> stream, int64_t from, int64_t count) {
    std::vector<uint8_t> out(static_cast<size_t>(count), 0);
    if (from < 0 || from >= static_cast<int64_t>(stream.size()))
        return out;
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(stream.size()) - from);
    std::copy_n(stream.begin() + from, n, out.begin());
    return out;
}

// Appends [from, from + count) of the stream to `to`; bytes outside the stream are zeros.
void appendOut(std::vector<uint8_t>& to, std::span<const uint8_t> stream, int64_t from,
               int64_t count) {
    const size_t start = to.size();
    if (from >= 0 && from < static_cast<int64_t>(stream.size())) {
        const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(stream.size()) - from);
        to.insert(to.end(), stream.begin() + from, stream.begin() + from + n);
    }
    to.resize(start + static_cast<size_t>(count), 0);
}

int64_t pieceBytesInStream(const Piece& p) {
    return static_cast<int64_t>(p.count) * (p.is16Bit ? 2 : 1);
}

// The output position of source position fc inside piece p.
int32_t outputOf(const Piece& p, int32_t fc) {
    const int64_t delta = static_cast<int64_t>(fc) - p.fc;
    return static_cast<int32_t>(p.outputPos + (p.is16Bit ? delta : 2 * delta));
}

}  // namespace

std::vector<Piece> parseClx(std::span<const uint8_t> clx, uint32_t wordDocumentSize,
                            DocFindings* findings) {
    std::vector<Piece> pieces;
    auto note = [findings](FindingGrade grade, std::string_view message, size_t k) {
        if (findings)
            findings->note(grade, message, static_cast<int64_t>(k));
    };
    size_t i = 0;
    while (i < clx.size()) {
        const uint8_t kind = clx[i];
        if (kind == 0) {
            i += 2;
        } else if (kind == 1) {
            i += 3 + readU16LE(clx, i + 1);
        } else if (kind == 2) {
            const uint32_t lcb = readU32LE(clx, i + 1);
            if (lcb > wordDocumentSize) {
                i += 1;
                continue;
            }
            const size_t base = i + 5;
            // Pieces past the end of the block would read as zeros; do not count them.
            const size_t n = lcb < 4 ? 0 : std::min<size_t>((lcb - 4) / 12, clx.size() / 12);
            for (size_t k = 0; k < n; ++k) {
                const int32_t cp0 = readI32LE(clx, base + 4 * k);
                const int32_t cp1 = readI32LE(clx, base + 4 * (k + 1));
                const size_t pcd = base + 4 * (n + 1) + 8 * k;
                const uint32_t rawFc = readU32LE(clx, pcd + 2);
                Piece p;
                p.count = static_cast<int32_t>(static_cast<int64_t>(cp1) - cp0);
                if (static_cast<int64_t>(cp1) - cp0 != p.count) {
                    note(FindingGrade::Incorrect, docfinding::kPieceRefused, k);
                    continue;
                }
                p.is16Bit = (rawFc & kCompressedBit) == 0;
                p.fc = p.is16Bit ? static_cast<int32_t>(rawFc)
                                 : static_cast<int32_t>((rawFc & ~kCompressedBit) / 2);
                p.prm = readU16LE(clx, pcd + 6);
                if (p.count < 0 || pieceBytesInStream(p) > wordDocumentSize) {
                    note(FindingGrade::Incorrect, docfinding::kPieceRefused, k);
                    continue;
                }
                if (p.count > 0 && (p.fc < 0 || static_cast<uint32_t>(p.fc) >= wordDocumentSize)) {
                    // Word writes a document's pieces one after another: a position that
                    // points past the stream is taken from the end of the piece before. A
                    // piece that begins inside a stream cut short keeps what it still has.
                    const Piece* before = pieces.empty() ? nullptr : &pieces.back();
                    const int64_t follow =
                        before ? int64_t{before->fc} + pieceBytesInStream(*before) : -1;
                    if (!before || before->is16Bit != p.is16Bit ||
                        follow + pieceBytesInStream(p) > wordDocumentSize) {
                        note(FindingGrade::Incorrect, docfinding::kPieceRefused, k);
                        continue;
                    }
                    p.fc = static_cast<int32_t>(follow);
                    note(FindingGrade::Potential, docfinding::kPieceRepaired, k);
                }
                pieces.push_back(p);
            }
            i = base + lcb;
        } else {
            i += 1;
        }
    }
    return pieces;
}

void readPiecesText(std::vector<Piece>& pieces, std::span<const uint8_t> wordDocument,
                    int32_t textStart, std::vector<uint8_t>& text) {
    const int64_t limit = 2 * static_cast<int64_t>(wordDocument.size());
    std::vector<Piece> kept;
    kept.reserve(pieces.size());
    // The text is as large as the document: its room is made once, so it is neither regrown
    // nor copied, and its pages are first written with the text.
    int64_t room = 0;
    for (const Piece& p : pieces)
        room += 2 * static_cast<int64_t>(std::max(p.count, 0));
    reserveLarge(text, text.size() + static_cast<size_t>(std::min(room, limit)));
    for (Piece p : pieces) {
        const int64_t bytes = 2 * static_cast<int64_t>(p.count);
        if (static_cast<int64_t>(text.size()) + bytes > limit)
            continue;
        p.outputPos = textStart + static_cast<int32_t>(text.size());
        if (p.is16Bit) {
            // Copied straight into the text; a chunk of it holding what cannot be text is
            // blanked there.
            const size_t first = text.size();
            appendOut(text, wordDocument, p.fc, bytes);
            for (size_t at = first; at < text.size(); at += kChunk) {
                const size_t n = std::min(kChunk, text.size() - at);
                std::span<uint8_t> chunk(text.data() + at, n);
                if (holdsIllegalUtf16(chunk))
                    std::fill(chunk.begin(), chunk.end(), 0x01);
            }
        } else {
            std::vector<uint8_t> raw = copyOut(wordDocument, p.fc, p.count);
            for (uint16_t unit : windows1252ToUtf16(raw)) {
                text.push_back(static_cast<uint8_t>(unit));
                text.push_back(static_cast<uint8_t>(unit >> 8));
            }
        }
        p.endOffset = static_cast<int32_t>(text.size());
        kept.push_back(p);
    }
    pieces = std::move(kept);
}

int32_t mapToOutput(const std::vector<Piece>& pieces, int32_t fc, int32_t beyond) {
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        const int64_t end = it->fc + pieceBytesInStream(*it);
        if (it->fc < fc && fc <= end)
            return outputOf(*it, fc);
    }
    return beyond;
}

PieceLookup::PieceLookup(const std::vector<Piece>& pieces) : pieces_(pieces) {
    // A piece covers the run ends [fc + 1, fc + bytes + 1).
    cuts_.reserve(2 * pieces.size());
    for (const Piece& p : pieces) {
        if (pieceBytesInStream(p) == 0)
            continue;
        cuts_.push_back(int64_t{p.fc} + 1);
        cuts_.push_back(int64_t{p.fc} + pieceBytesInStream(p) + 1);
    }
    std::sort(cuts_.begin(), cuts_.end());
    cuts_.erase(std::unique(cuts_.begin(), cuts_.end()), cuts_.end());
    owners_.assign(cuts_.size(), -1);

    // The pieces paint their stretches from the last one back, each stretch once: `next`
    // skips over painted stretches (with path halving), so the painting is near-linear.
    std::vector<int32_t> next(cuts_.size() + 1);
    for (size_t k = 0; k < next.size(); ++k)
        next[k] = static_cast<int32_t>(k);
    auto unpainted = [&](int32_t k) {
        while (next[static_cast<size_t>(k)] != k) {
            next[static_cast<size_t>(k)] = next[static_cast<size_t>(next[static_cast<size_t>(k)])];
            k = next[static_cast<size_t>(k)];
        }
        return k;
    };
    auto cutIndex = [&](int64_t at) {
        return static_cast<int32_t>(std::lower_bound(cuts_.begin(), cuts_.end(), at) -
                                    cuts_.begin());
    };
    for (size_t i = pieces.size(); i-- > 0;) {
        const Piece& p = pieces[i];
        if (pieceBytesInStream(p) == 0)
            continue;
        const int32_t last = cutIndex(int64_t{p.fc} + pieceBytesInStream(p) + 1);
        for (int32_t k = unpainted(cutIndex(int64_t{p.fc} + 1)); k < last; k = unpainted(k)) {
            owners_[static_cast<size_t>(k)] = static_cast<int32_t>(i);
            next[static_cast<size_t>(k)] = k + 1;
        }
    }
}

int32_t PieceLookup::map(int32_t fc, int32_t beyond) const {
    const auto after = std::upper_bound(cuts_.begin(), cuts_.end(), int64_t{fc});
    if (after == cuts_.begin())
        return beyond;
    const int32_t owner = owners_[static_cast<size_t>(after - cuts_.begin() - 1)];
    return owner < 0 ? beyond : outputOf(pieces_[static_cast<size_t>(owner)], fc);
}

}  // namespace morvel
