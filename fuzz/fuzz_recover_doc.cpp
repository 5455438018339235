// Runs the whole .doc recovery on a fuzzed file; the document is built in memory.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "docwriter/recover_doc_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::DocContext ctx;
    std::vector<uint8_t> document;
    morvel::RecoverDocFile(std::span<const uint8_t>(data, size), document, ctx);
    return 0;
}
