// The compound-file writer and the plain-text document writer, read back by the salvage:
// every stream written must come back with the same bytes. With the header zeroed the
// salvage runs too (stream contents may imitate the structures it looks for, so only
// safety is checked there).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "doc/doc_salvage.h"
#include "docwriter/text_write.h"
#include "platform/compound_file_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Reads the input as a list of streams: a path byte (storage depth and name), a size, then
// the bytes themselves.
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
};

void check(const Bytes& file, const std::map<std::string, Bytes>& expected) {
    for (int zeroed = 0; zeroed < 2; ++zeroed) {
        Bytes image = file;
        if (zeroed)
            std::fill(image.begin(), image.begin() + 512, 0);
        morvel::DocContext ctx;
        morvel::DocSalvage s = morvel::SalvageDocFile(image, ctx, true);
        if (zeroed) {
            if (s.storage)
                for (const morvel::CStreamEntry& e : s.storage->entries)
                    s.storage->ReadWholeStream(e);
            continue;
        }
        if (!s.storage || !s.storage->treeWalked)
            __builtin_trap();
        std::map<std::string, Bytes> got;
        std::vector<std::string> open;
        for (const morvel::WalkStep& w : s.storage->traversal) {
            const morvel::CStreamEntry& e = s.storage->entries[w.entry];
            open.resize(static_cast<size_t>(w.depth));
            std::string path;
            for (const std::string& o : open)
                path += o + "/";
            if (e.type == 1)
                open.push_back(e.name);
            else
                got[path + e.name] = s.storage->ReadWholeStream(e);
        }
        if (got != expected)
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    morvel::CompoundFileWriter writer;
    std::map<std::string, Bytes> expected;
    // A WordDocument stream comes first so the container reads as a Word document.
    Bytes fib(4096, 0);
    fib[0] = 0xEC, fib[1] = 0xA5, fib[2] = 0xC1;
    writer.root().createStream("WordDocument").write(fib);
    expected["WordDocument"] = fib;
    for (int count = 0; in.n && count < 12; ++count) {
        const uint8_t where = in.byte();
        std::string path;
        morvel::CompoundStorage* st = &writer.root();
        for (int depth = 0; depth < (where >> 6); ++depth) {
            std::string dir = "d" + std::to_string(depth);
            st = &st->createStorage(std::string_view(dir));
            path += dir + "/";
        }
        const std::string name = "s" + std::to_string(where & 0x3F);
        const size_t length = (size_t{in.byte()} << 8 | in.byte()) % 20000;
        Bytes body(length);
        for (size_t i = 0; i < length; ++i)
            body[i] = static_cast<uint8_t>(in.byte() + i);
        if (expected.count(path + name) || st->findStorage(morvel::compoundName(name)))
            continue;
        st->createStream(std::string_view(name)).write(body);
        expected[path + name] = body;
    }
    check(writer.serialize(), expected);

    // The plain-text writer: the text lands at 2048 followed by a paragraph mark.
    const Bytes text(data, data + (size & ~size_t{1}));
    morvel::CTextWrite8 textWriter;
    const Bytes doc = textWriter.BuildTextDocument(text, static_cast<int32_t>(text.size() + 2));
    morvel::DocContext ctx;
    morvel::DocSalvage s = morvel::SalvageDocFile(doc, ctx);
    if (s.result != morvel::kSalvageReadable || !s.storage->wordDocument())
        __builtin_trap();
    const Bytes word = s.storage->ReadWholeStream(*s.storage->wordDocument());
    if (word.size() < 2050 + text.size() ||
        !std::equal(text.begin(), text.end(), word.begin() + 2048))
        __builtin_trap();
    return 0;
}
