#include "core/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/recovery_driver.h"

#ifndef MORVEL_DATA_DIR
#define MORVEL_DATA_DIR "/usr/local/share/morvel"
#endif

namespace morvel {

namespace {

// Makes sure path is a real directory of ours with mode 0700, creating it when missing.
bool ensurePrivateDir(const std::filesystem::path& path, std::string& error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = "cannot inspect " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = path.string() + " is not a folder (a link or file was placed there)";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = path.string() + " belongs to another user";
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.c_str(), 0700) != 0) {
        error = "cannot make " + path.string() + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::filesystem::path privateWorkingFolder(std::string& error) {
    std::filesystem::path dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && std::filesystem::path(runtime).is_absolute()) {
        dir = std::filesystem::path(runtime) / "morvel";
    } else {
        const char* tmp = std::getenv("TMPDIR");
        std::filesystem::path base = (tmp && *tmp) ? tmp : "/tmp";
        dir = base / ("morvel-" + std::to_string(::geteuid()));
    }
    if (!ensurePrivateDir(dir, error))
        return {};
    return dir;
}

std::filesystem::path makeRunFolder(const std::filesystem::path& workingFolder,
                                    std::string& error) {
    std::string tmpl = (workingFolder / "run-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        error = "cannot create a folder in " + workingFolder.string() + ": " + std::strerror(errno);
        return {};
    }
    return tmpl;
}

std::vector<std::filesystem::path> templateStoreFolders() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    fs::path exeDir = ec ? fs::current_path(ec) : exe.parent_path();
    std::vector<fs::path> folders;
    for (const fs::path& candidate :
         {exeDir, (exeDir.parent_path() / "share" / "morvel"), fs::path(MORVEL_DATA_DIR)}) {
        const fs::path normal = candidate.lexically_normal();
        if (std::find(folders.begin(), folders.end(), normal) == folders.end())
            folders.push_back(normal);
    }
    return folders;
}

TemplateStoreLookup findTemplateStore(const std::vector<std::filesystem::path>& folders) {
    TemplateStoreLookup lookup;
    for (const std::filesystem::path& folder : folders) {
        lookup.lookedIn.push_back(folder);
        std::error_code ec;
        if (std::filesystem::is_regular_file(folder / kTemplateStoreName, ec)) {
            lookup.folder = folder;
            break;
        }
    }
    return lookup;
}

std::string templateStoreNotFoundMessage(const TemplateStoreLookup& lookup) {
    std::string text =
        std::string("the template store ") + kTemplateStoreName + " was not found (looked in: ";
    for (size_t i = 0; i < lookup.lookedIn.size(); ++i)
        text += (i ? ", " : "") + lookup.lookedIn[i].string();
    return text + ")";
}

std::filesystem::path defaultProgramFolder() {
    const std::vector<std::filesystem::path> folders = templateStoreFolders();
    TemplateStoreLookup lookup = findTemplateStore(folders);
    return lookup.found() ? lookup.folder : folders.front();
}

}  // namespace morvel
