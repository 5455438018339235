#include "discovery/named_documents.h"

#include <filesystem>

#include "core/document_format.h"

namespace morvel {

std::vector<std::string> AddNamedDocuments(CDocumentStore& store,
                                           const std::vector<std::string>& paths) {
    namespace fs = std::filesystem;
    std::vector<std::string> skipped;
    for (const std::string& given : paths) {
        std::error_code ec;
        const fs::path path = fs::absolute(given, ec).lexically_normal();
        if (ec || !fs::is_regular_file(path, ec)) {
            skipped.push_back(given + ": not a file");
            continue;
        }
        const std::string name = path.filename().string();
        const DocumentFormat format = formatFromFileName(name);
        if (format == kFormatUnknown) {
            skipped.push_back(given + ": not a .doc or .docx file");
            continue;
        }
        const CDocumentStore::AddResult added =
            store.AddDocument(name, path.parent_path().string(), format, kCategoryOrdinary);
        if (added.kind == CDocumentStore::AddResult::TableFull)
            skipped.push_back(given + ": the list of documents is full");
    }
    return skipped;
}

}  // namespace morvel
