#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/folder_documents.h"
#include "cli/json_text.h"
#include "core/document_record.h"

namespace morvel::cli {

namespace {

const char* formatName(uint16_t f) {
    return f == kFormatDoc ? "doc" : f == kFormatDocx ? "docx" : "unknown";
}

const char* categoryName(uint16_t c) {
    return c == kCategoryTemplates ? "templates" : c == kCategoryTilde ? "tilde" : "ordinary";
}

}  // namespace

int runScan(const std::vector<std::string>& args) {
    std::vector<std::string> folders;
    bool json = false, templates = false, tilde = false;
    for (const std::string& a : args) {
        if (a == "--json") {
            json = true;
        } else if (a == "--templates") {
            templates = true;
        } else if (a == "--tilde") {
            tilde = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            std::fprintf(stderr, "morvel: unknown option %s (see morvel --help)\n", a.c_str());
            return kExitUsage;
        } else if (a != "--") {
            folders.push_back(a);
        }
    }
    if (folders.empty()) {
        std::fprintf(stderr, "morvel: scan needs at least one folder (see morvel --help)\n");
        return kExitUsage;
    }
    int status = kExitAllFull;
    std::vector<std::string> searchable;
    for (const std::string& f : folders) {
        std::error_code ec;
        if (std::filesystem::is_directory(f, ec)) {
            searchable.push_back(f);
        } else {
            std::fprintf(stderr, "morvel: %s is not a folder\n", f.c_str());
            status = kExitSomeFailed;
        }
    }

    FolderSearchOutcome found;
    std::string error;
    if (!searchFolders(searchable, found, error)) {
        std::fprintf(stderr, "morvel: %s\n", error.c_str());
        return kExitSomeFailed;
    }
    for (const std::string& e : found.errors)
        std::fprintf(stderr, "morvel: %s\n", e.c_str());

    // The table as the tree would show it with the chosen filters.
    std::vector<const FoundDocument*> shown;
    for (const FoundDocument& d : found.documents) {
        if ((d.category == kCategoryTemplates && !templates) ||
            (d.category == kCategoryTilde && !tilde))
            continue;
        shown.push_back(&d);
    }
    if (json) {
        std::string s = "{\"documents\":[";
        for (size_t i = 0; i < shown.size(); ++i) {
            const FoundDocument& d = *shown[i];
            s += (i ? ",{" : "{") + std::string("\"path\":") +
                 jsonString(d.folder + "/" + d.fileName) + ",\"folder\":" + jsonString(d.folder) +
                 ",\"fileName\":" + jsonString(d.fileName) + ",\"format\":\"" +
                 formatName(d.format) + "\",\"category\":\"" + categoryName(d.category) + "\"}";
        }
        s += "],\"tableFull\":" + std::string(found.tableFull ? "true" : "false") + "}";
        std::printf("%s\n", s.c_str());
    } else {
        const std::string* folder = nullptr;
        for (const FoundDocument* d : shown) {
            if (!folder || *folder != d->folder) {
                folder = &d->folder;
                std::printf("%s\n", d->folder.empty() ? "/" : d->folder.c_str());
            }
            std::printf("  %-5s %s\n", formatName(d->format), d->fileName.c_str());
        }
        std::fprintf(stderr, "%zu document%s found\n", shown.size(), shown.size() == 1 ? "" : "s");
    }
    return status;
}

}  // namespace morvel::cli
