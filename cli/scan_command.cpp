#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/help_text.h"
#include "cli/json_text.h"
#include "cli/option_reader.h"
#include "core/document_record.h"
#include "discovery/document_walk.h"

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
    constexpr const char* kCommand = "morvel scan";
    enum : int { kOptJson = 256, kOptTemplates, kOptTilde };
    static const option kLongOptions[] = {
        {"json", no_argument, nullptr, kOptJson},
        {"templates", no_argument, nullptr, kOptTemplates},
        {"tilde", no_argument, nullptr, kOptTilde},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    std::vector<std::string> folders;
    bool json = false, templates = false, tilde = false;
    OptionReader reader(kCommand, args, "h", kLongOptions);
    for (int c; (c = reader.next()) != OptionReader::kEnd;) {
        if (c == OptionReader::kOperand)
            folders.push_back(reader.value());
        else if (c == kOptJson)
            json = true;
        else if (c == kOptTemplates)
            templates = true;
        else if (c == kOptTilde)
            tilde = true;
        else if (c == 'h')
            return std::fputs(commandHelp("scan"), stdout), kExitAllFull;
        else
            return usageError(kCommand, "");
    }
    folders.insert(folders.end(), reader.operands().begin(), reader.operands().end());
    if (folders.empty())
        return usageError(kCommand, "scan needs at least one folder");
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

    // The same walk as recover's, so scan lists exactly what recover would take (with the
    // categories the filters choose from), with no cap on the number.
    std::vector<WalkedDocument> found;
    for (const std::string& folder : searchable)
        walkDocuments(folder, {}, [&](const WalkedDocument& d) { found.push_back(d); });

    // The table as the tree would show it with the chosen filters.
    std::vector<const WalkedDocument*> shown;
    for (const WalkedDocument& d : found) {
        if ((d.category == kCategoryTemplates && !templates) ||
            (d.category == kCategoryTilde && !tilde))
            continue;
        shown.push_back(&d);
    }
    if (json) {
        std::string s = "{\"documents\":[";
        for (size_t i = 0; i < shown.size(); ++i) {
            const WalkedDocument& d = *shown[i];
            s += (i ? ",{" : "{") + jsonPathMembers("path", d.folder + "/" + d.fileName) + "," +
                 jsonPathMembers("folder", d.folder) + "," +
                 jsonPathMembers("fileName", d.fileName) + ",\"format\":\"" + formatName(d.format) +
                 "\",\"category\":\"" + categoryName(d.category) + "\"}";
        }
        // The listing has no cap; "tableFull" stays for scripts that read it.
        s += "],\"tableFull\":false}";
        std::printf("%s\n", s.c_str());
    } else {
        const std::string* folder = nullptr;
        for (const WalkedDocument* d : shown) {
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
