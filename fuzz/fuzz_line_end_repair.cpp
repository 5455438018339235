// Undoing line-end conversions over arbitrary bytes, through both containers' repairs: any
// input either is left alone (no bytes) or gives restored bytes that differ from it by CRs
// only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "doc/line_end_repair.h"
#include "docx/line_end_repair.h"

namespace {

// The restored bytes are the input with CRs taken out or put in, never anything else.
void check(const morvel::LineEndRepair& r, std::span<const uint8_t> in) {
    if (!r.undone()) {
        if (!r.bytes.empty())
            std::abort();
        return;
    }
    const std::vector<uint8_t>& out = r.bytes;
    if (r.crsRemoved + out.size() != in.size() + r.crsInserted)
        std::abort();
    size_t i = 0, o = 0;
    while (i < in.size() || o < out.size()) {
        if (i < in.size() && o < out.size() && in[i] == out[o]) {
            ++i;
            ++o;
        } else if (i < in.size() && in[i] == morvel::kCarriageReturn) {
            ++i;
        } else if (o < out.size() && out[o] == morvel::kCarriageReturn) {
            ++o;
        } else {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> in(data, size);
    check(morvel::undoCompoundFileLineEnds(in), in);
    check(morvel::undoPackageLineEnds(in), in);
    return 0;
}
