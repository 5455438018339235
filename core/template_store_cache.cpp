#include "core/template_store_cache.h"

#include <vector>

#include "core/recovery_driver.h"
#include "platform/file_io.h"

namespace morvel {

const TemplatePackage* TemplateStoreCache::get(const std::filesystem::path& programFolder) {
    if (tried_ && folder_ == programFolder)
        return loaded_.get();
    tried_ = true;
    folder_ = programFolder;
    loaded_.reset();
    std::vector<uint8_t> store;
    if (readWholeFile(programFolder / kTemplateStoreName, store) != ReadStatus::Ok)
        return nullptr;
    auto package = std::make_unique<TemplatePackage>();
    if (package->Load(store.data(), static_cast<uint32_t>(store.size())) != kStoreLoaded)
        return nullptr;
    loaded_ = std::move(package);
    return loaded_.get();
}

}  // namespace morvel
