#include "core/preview_names.h"

#include <ctime>
#include <system_error>
#include <vector>

namespace morvel {

namespace fs = std::filesystem;

PreviewNames::PreviewNames() : random_(static_cast<uint32_t>(std::time(nullptr))) {}

fs::path PreviewNames::next(const fs::path& workingFolder, const std::string& extension) {
    std::string name = "~temporary_";
    for (int i = 0; i < 3; ++i)
        name += std::to_string(random_()) + "_";
    name += std::to_string(static_cast<long long>(std::time(nullptr)));
    if (!extension.empty())
        name += "." + extension;
    return workingFolder / name;
}

void cleanPreviewFiles(const fs::path& workingFolder, const fs::path& keep1,
                       const fs::path& keep2) {
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(workingFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string name = p.filename().string();
        if (name.empty() || name[0] != '~' || p == keep1 || p == keep2)
            continue;
        // Links are removed themselves, never what they point to; folders are left alone.
        const fs::file_status st = it->symlink_status(ec);
        if (!ec && !fs::is_directory(st))
            doomed.push_back(p);
    }
    for (const fs::path& p : doomed)
        fs::remove(p, ec);
}

}  // namespace morvel
