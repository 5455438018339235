#include "docx/template_package.h"

namespace morvel {

int TemplatePackage::Load(const uint8_t* bytes, uint32_t length) {
    store_.Clear();
    package_.Reset();
    loaded_ = false;
    linked_ = false;
    const int rc = store_.Load(bytes, length);
    if (rc != 0)
        return rc;
    loaded_ = true;
    if (store_.PackageCount() == 0)
        return 0;
    const ByteSpan package = store_.PackageData(0);
    linked_ = package_.OpenMemory(package.data, package.length) == 0;
    // The extractor holds its own copy; the store's bytes are not needed any more.
    store_.Clear();
    return 0;
}

}  // namespace morvel
