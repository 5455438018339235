#include "tests/support/test_files.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace morvel::test {

std::filesystem::path corpusDir() {
    std::error_code ec;
    if (const char* env = std::getenv("MORVEL_CORPUS")) {
        if (*env && std::filesystem::is_directory(env, ec))
            return env;
    }
    return {};
}

std::vector<std::filesystem::path> corpusFiles(const std::string& subfolder) {
    std::vector<std::filesystem::path> out;
    std::filesystem::path dir = corpusDir();
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir / subfolder, ec))
        return out;
    // Hidden files (editor or office lock files, ".~lock.*#") are never corpus documents.
    for (const auto& e : std::filesystem::directory_iterator(dir / subfolder))
        if (e.is_regular_file() && !e.path().filename().string().starts_with("."))
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "morvel-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> bytesOf(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace morvel::test
