#include "docx/template_package.h"

namespace morvel {

StoreLoadResult TemplatePackage::Load(const uint8_t* bytes, uint32_t length) {
    store_.Clear();
    package_.Reset();
    loaded_ = false;
    linked_ = false;
    const StoreLoadResult rc = store_.Load(bytes, length);
    if (rc != kStoreLoaded)
        return rc;
    loaded_ = true;
    if (store_.PackageCount() == 0)
        return kStoreLoaded;
    const ByteSpan package = store_.PackageData(0);
    linked_ = package_.OpenMemory(package.data, package.length) == 0;
    // The extractor holds its own copy; the store's bytes are not needed any more.
    store_.Clear();
    return kStoreLoaded;
}

}  // namespace morvel
