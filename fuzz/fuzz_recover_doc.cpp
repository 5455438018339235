// Runs the whole .doc recovery on a fuzzed file, writing the result to a private folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "docwriter/recover_doc_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path out = [] {
        std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("morvel-fuzz-recover-doc-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        return dir / "out.doc";
    }();
    morvel::DocContext ctx;
    morvel::RecoverDocFile(std::span<const uint8_t>(data, size), out, ctx);
    std::error_code ec;
    std::filesystem::remove(out, ec);
    return 0;
}
