#pragma once

#include <cstdint>

#include "docx/uni_data_store_package.h"
#include "docx/zip_broken_extractor.h"

namespace morvel {

// The template store with its package 0 opened, loaded once and lent to every repair engine
// of a run: the store is read, checked and scanned once however many documents are recovered.
class TemplatePackage {
  public:
    // The store's own result. When it loaded, the store's package 0 is opened at once.
    StoreLoadResult Load(const uint8_t* bytes, uint32_t length);

    bool Loaded() const { return loaded_; }
    // True when package 0 could be taken from the loaded store and opened.
    bool Linked() const { return linked_; }
    const ZipBrokenExtractor& Package() const { return package_; }

  private:
    UniDataStorePackage store_;
    ZipBrokenExtractor package_;
    bool loaded_ = false;
    bool linked_ = false;
};

}  // namespace morvel
