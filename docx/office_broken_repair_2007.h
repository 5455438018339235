#pragma once

#include <cstdint>
#include <filesystem>

#include "docx/uni_data_store_package.h"
#include "docx/zip_broken_extractor.h"
#include "platform/byte_span.h"

namespace morvel {

// Status codes of the DOCX repair engine; Message() gives the text of each.
enum DocxStatus : uint32_t {
    kDocxOk = 0,
    kDocxNoData = 3,
    kDocxCloseTagMismatch = 4,
    kDocxEmptyTag = 5,
    kDocxBadDocumentSize = 6,
    kDocxDocumentNotFound = 7,
    kDocxCloseWithoutOpen = 8,
    kDocxContentTypesNotFound = 9,
    kDocxLostPartNotInTemplate = 10,
    kDocxTemplatesNotLinked = 11,
    kDocxTemplateLinkError = 12,
    kDocxException = 13,
    kDocxWriteError = 14,
};

// The DOCX repair engine: salvages the intact entries of a damaged package and writes either
// the full document (its own parts cleaned of references to lost parts, lost parts filled
// from the template package) or a text-only document (the template package around a main
// document reduced to text, paragraphs, runs, basic formatting and tables).
// Every operation returns 0 on success; an exception inside one sets status 13 and is
// raised again.
class OfficeBrokenRepair_2007 {
  public:
    virtual ~OfficeBrokenRepair_2007() = default;

    // 0, or 1 when nothing could be read.
    int OpenDamaged(const std::filesystem::path& path);
    // The template store's own result (0 success).
    int LoadTemplateStore(const uint8_t* bytes, uint32_t length);
    int WriteTextPackage(const std::filesystem::path& outPath);
    int WriteFullPackage(const std::filesystem::path& outPath);

    uint32_t Status() const { return status; }
    ByteSpan Message() const { return message; }

  private:
    void linkTemplate();
    int finish();
    int writeTextPackage(const std::filesystem::path& outPath);
    int writeFullPackage(const std::filesystem::path& outPath);

    int32_t linkedTemplate = -1;
    uint32_t storeLoaded = 0;
    UniDataStorePackage templateStore;
    uint32_t status = 0;
    ByteSpan message;
    ZipBrokenExtractor damaged;
    ZipBrokenExtractor templatePackage;
};

// The message kept with a status code (empty for a code outside the table).
ByteSpan docxStatusMessage(uint32_t status);

}  // namespace morvel
