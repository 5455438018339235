#include "discovery/default_search_list.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace morvel {

namespace {

// File systems that live on a local disk and may hold a user's documents.
constexpr std::array<std::string_view, 14> kDiskTypes = {
    "ext2", "ext3",  "ext4", "xfs",   "btrfs",   "f2fs",    "jfs",
    "vfat", "exfat", "ntfs", "ntfs3", "fuseblk", "hfsplus", "zfs"};

// Mount points in the table escape blanks and a few other bytes as \ooo.
std::string unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool inside(const std::string& path, const std::string& folder) {
    if (folder == "/")
        return path != "/";
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

}  // namespace

std::string DefaultDriveList(const std::filesystem::path& mountTable) {
    std::ifstream in(mountTable);
    std::vector<std::string> points;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type))
            continue;
        if (std::find(kDiskTypes.begin(), kDiskTypes.end(), type) == kDiskTypes.end())
            continue;
        if (type != "zfs" && type != "overlay" && device.rfind("/dev/", 0) != 0)
            continue;
        if (device.rfind("/dev/loop", 0) == 0)
            continue;  // disk images mounted by packages (snaps), not the user's disks
        point = unescape(point);
        std::error_code ec;
        // Single files bound into a container (/etc/hosts) are mount points too.
        if (point.empty() || point.find(';') != std::string::npos ||
            !std::filesystem::is_directory(point, ec) ||
            std::find(points.begin(), points.end(), point) != points.end())
            continue;
        points.push_back(point);
    }
    std::string list;
    for (const std::string& p : points) {
        bool nested = false;
        for (const std::string& q : points)
            nested |= inside(p, q);
        if (!nested)
            list += p + ";";
    }
    return list;
}

}  // namespace morvel
