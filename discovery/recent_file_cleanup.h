#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace morvel {

// Opening a preview file with the desktop's default application leaves an entry for it in the
// desktop's recent-file lists. These functions take those entries out again at exit: only
// entries that name a "~temporary_" file directly inside the working folder are removed, and
// every other byte of a list stays as it was.

// True when uri ("file:///..." with percent escapes, or a plain absolute path) names a preview
// file of the working folder.
bool isPreviewFileUri(std::string_view uri, const std::filesystem::path& workingFolder);

// An XML bookmark list (recently-used.xbel) without the <bookmark> elements of preview files.
std::string withoutPreviewBookmarks(std::string_view xbel,
                                    const std::filesystem::path& workingFolder);

// An office suite's registry modifications (registrymodifications.xcu) without the history
// items that name preview files.
std::string withoutPreviewHistory(std::string_view xcu, const std::filesystem::path& workingFolder);

// Where the two lists live for the current user.
struct RecentFileLists {
    std::filesystem::path bookmarks;  // $XDG_DATA_HOME/recently-used.xbel
    std::filesystem::path history;  // $XDG_CONFIG_HOME/libreoffice/4/user/registrymodifications.xcu
};
RecentFileLists defaultRecentFileLists();

// Rewrites both lists when they hold preview entries. Best effort and silent: a missing or
// unreadable list is skipped, a list without our entries is not rewritten.
void CleanWordRecentFiles(const RecentFileLists& lists, const std::filesystem::path& workingFolder);

}  // namespace morvel
