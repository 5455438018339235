#pragma once

#include <filesystem>
#include <memory>

#include "docx/template_package.h"

namespace morvel {

// The template store "temp.dat", read and opened on first use and kept for the rest of a run,
// so recovering many .docx documents reads and scans it once. Owned by the caller of the
// recovery driver; one cache serves one thread at a time.
class TemplateStoreCache {
  public:
    // The loaded template from programFolder, or null when it cannot be read or loaded (a
    // failure is remembered too). A later call with another folder loads again.
    const TemplatePackage* get(const std::filesystem::path& programFolder);

  private:
    std::filesystem::path folder_;
    bool tried_ = false;
    std::unique_ptr<TemplatePackage> loaded_;
};

}  // namespace morvel
