#include "core/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

std::filesystem::path defaultProgramFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::filesystem::path exeDir = ec ? std::filesystem::current_path(ec) : exe.parent_path();
    if (std::filesystem::exists(exeDir / "temp.dat", ec))
        return exeDir;
    std::filesystem::path data = MORVEL_DATA_DIR;
    if (std::filesystem::exists(data / "temp.dat", ec))
        return data;
    return exeDir;
}

}  // namespace morvel
