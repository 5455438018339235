#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "doc/compound_file.h"
#include "doc/doc_context.h"
#include "doc/doc_storage.h"
#include "doc/file_image.h"

namespace morvel {

// Outcome of salvaging a .doc container. Apart from kSalvageReadable the values are the
// results the .doc recovery routine returns for them.
enum SalvageResult : int32_t {
    kSalvageReadable = 0,      // a Word 97-2003 document: the storage is ready for the reader
    kSalvageFailed = -1,       // too short, no FAT to rebuild, or a rebuilt FAT still invalid
    kSalvageRtf = 50,          // an RTF file
    kSalvageNotWord97 = 52,    // no WordDocument stream, or Word 6.0/95 or older
    kSalvageSpreadsheet = 53,  // a workbook instead of a Word document (the directory is read)
    kSalvageThrew = 55         // the salvage failed inside (statusCode 3000)
};

// Everything the salvage of one file made, in the order it made them. The objects refer to
// the image bytes and the storage to the context, which must both outlive them.
struct DocSalvage {
    int32_t result = kSalvageFailed;
    int version = -1;           // ClassifyFormatVersion
    bool headerSound = false;   // the header was found and judged sound
    int invalidFatValues = 0;   // CountInvalidFatValues
    int fatValuesRepaired = 0;  // of those, replaced by sequential guesses
    bool walkFailed = false;    // the tree walk failed and the raw search filled in
    std::unique_ptr<CFileImage> image;
    std::unique_ptr<CCompoundFile> compound;
    std::unique_ptr<CDocStorage> storage;
};

// Salvages the compound file of a .doc held in memory: finds or rebuilds the header's
// values, builds the sector view, reads and walks the directory and fills missing streams by
// raw search. Sets ctx.statusCode to 0 first (3000 on an internal failure) and ctx.imageSize.
// With keepGoing, a document of another version is salvaged all the same (its result still
// says kSalvageNotWord97), so its streams can be inspected.
DocSalvage SalvageDocFile(std::span<const uint8_t> image, DocContext& ctx, bool keepGoing = false);

}  // namespace morvel
