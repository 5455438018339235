// Cleans arbitrary bytes as both recent-file list formats; neither may crash or grow the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "discovery/recent_file_cleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path work = "/run/user/1000/morvel";
    if (morvel::withoutPreviewBookmarks(text, work).size() > size)
        std::abort();
    if (morvel::withoutPreviewHistory(text, work).size() > size)
        std::abort();
    return 0;
}
