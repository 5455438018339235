#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace morvel {

// Names for the preview's temporary files: "~temporary_A_B_C_T" or "~temporary_A_B_C_T.ext"
// in the working folder; A, B and C come from a generator seeded with the time when the object
// is made, T is the time in seconds.
class PreviewNames {
  public:
    PreviewNames();
    std::filesystem::path next(const std::filesystem::path& workingFolder,
                               const std::string& extension = {});

  private:
    std::minstd_rand random_;
};

// Before a preview: deletes every file of the working folder whose name begins with "~",
// except the two (compared exactly by name) that are about to be shown.
void cleanPreviewFiles(const std::filesystem::path& workingFolder,
                       const std::filesystem::path& keep1, const std::filesystem::path& keep2);

}  // namespace morvel
