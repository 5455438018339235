// Salvage of a damaged compound file, its directory and every stream read through it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "doc/doc_salvage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Short inputs are padded so the salvage runs on them instead of refusing them.
    std::vector<uint8_t> image(data, data + size);
    if (image.size() < 900)
        image.resize(900, 0);
    morvel::DocContext ctx;
    morvel::DocSalvage s = morvel::SalvageDocFile(image, ctx, true);
    if (!s.storage)
        return 0;
    const morvel::CDocStorage& st = *s.storage;
    std::vector<uint8_t> buf(4096);
    for (const morvel::CStreamEntry& e : st.entries) {
        st.ReadWholeStream(e);
        ctx.textIs16Bit = true;
        st.ReadStream(e, buf, 2048, e.size / 2);
        ctx.textIs16Bit = false;
        st.ReadStream(e, buf, 100, 4000);
    }
    return 0;
}
