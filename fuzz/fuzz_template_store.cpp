// Template store loading, then the salvage of the first package it holds.
#include <cstddef>
#include <cstdint>

#include "docx/uni_data_store_package.h"
#include "docx/zip_broken_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::UniDataStorePackage store;
    if (store.Load(data, static_cast<uint32_t>(size)) != 0)
        return 0;
    for (uint32_t i = 0; i < store.PackageCount(); ++i)
        (void)store.PackageName(i).view();
    morvel::ByteSpan package = store.PackageData(0);
    morvel::ZipBrokenExtractor zip;
    zip.OpenMemory(package.data, package.length);
    return 0;
}
