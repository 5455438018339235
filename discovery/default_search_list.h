#pragma once

#include <filesystem>
#include <string>

namespace morvel {

// The folders searched by default: the mount points of local disk file systems read from the
// mount table, each followed by ";". A mount point inside another listed one is left out (the
// walk reaches it anyway), and so is one that is no folder or whose name holds ";".
std::string DefaultDriveList(const std::filesystem::path& mountTable = "/proc/self/mounts");

}  // namespace morvel
