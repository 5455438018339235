#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace morvel::test {

// The folder of real Word documents (../shared/corpus), or an empty path when it is absent;
// tests that need it call GTEST_SKIP() then.
std::filesystem::path corpusDir();

// Every file of the corpus sub-folder ("doc" or "docx"), sorted by name; empty when absent.
std::vector<std::filesystem::path> corpusFiles(const std::string& subfolder);

// A fresh folder removed when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> bytesOf(const std::string& text);

}  // namespace morvel::test
