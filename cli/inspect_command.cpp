#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/help_text.h"
#include "cli/json_text.h"
#include "cli/option_reader.h"
#include "cli/zip_inspect_json.h"
#include "doc/doc_salvage.h"
#include "docwriter/recover_doc_file.h"
#include "platform/cfb_constants.h"
#include "platform/file_io.h"
#include "platform/sha256.h"
#include "platform/utf8.h"

namespace morvel::cli {

namespace {

const char* resultName(int32_t r) {
    switch (r) {
        case kSalvageReadable:
            return "readable";
        case kSalvageRtf:
            return "rtf";
        case kSalvageNotWord97:
            return "not-word97";
        case kSalvageSpreadsheet:
            return "spreadsheet";
        case kSalvageThrew:
            return "salvage-failed";
        default:
            return "unreadable";
    }
}

template <typename T>
std::string jsonList(const std::vector<T>& values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i)
        out += (i ? "," : "") + std::to_string(values[i]);
    return out + "]";
}

// What the Word 97 reader found, and the result the recovery would give.
std::string readerJson(const std::vector<uint8_t>& bytes) {
    DocContext ctx;
    RecoverDocFindings f;
    const int result = InspectDocFile(bytes, ctx, f);
    std::string j = "{\"recoverResult\":" + std::to_string(result);
    j += ",\"statusCode\":" + std::to_string(ctx.statusCode);
    j += ",\"version\":" + std::to_string(f.version);
    j += ",\"tableStream\":" + std::string(f.tableStream == 1   ? "\"1Table\""
                                           : f.tableStream == 0 ? "\"0Table\""
                                                                : "null");
    j += ",\"fibRebuilt\":" + std::string(f.fibRebuilt ? "true" : "false");
    j += ",\"pieces\":" + std::to_string(f.pieces);
    j += ",\"textBytes\":" + std::to_string(f.textBytes);
    j += ",\"chpRunsRead\":" + std::to_string(f.chpRunsRead);
    j += ",\"chpRunsKept\":" + std::to_string(f.chpRunsKept);
    j += ",\"papRunsRead\":" + std::to_string(f.papRunsRead);
    j += ",\"papRunsKept\":" + std::to_string(f.papRunsKept);
    j += ",\"chpxPages\":" + std::to_string(f.chpxPages);
    j += ",\"papxPages\":" + std::to_string(f.papxPages);
    j += ",\"sections\":" + std::to_string(f.sections);
    j += ",\"dataBlocks\":" + std::to_string(f.dataBlocks);
    j += ",\"pictureRuns\":" + std::to_string(f.pictureRuns);
    j += ",\"picturesDropped\":" + std::to_string(f.picturesDropped);
    j += ",\"pictureStore\":" + std::to_string(f.pictureStore);
    return j + "}";
}

// The header the salvage found or rebuilt, as JSON members.
std::string imageMembers(const DocSalvage& s) {
    const CFileImage& img = *s.image;
    std::string j = ",\"headerFound\":" + std::string(s.headerSound ? "true" : "false");
    j += ",\"headerRebuilt\":" + std::string(img.salvaged() ? "true" : "false");
    j += ",\"headerPos\":" + std::to_string(img.salvaged() ? -1 : img.headerPos);
    j += ",\"shift\":" + std::to_string(img.shift);
    j += ",\"version\":" + std::to_string(s.version);
    if (img.salvaged()) {
        j += ",\"rebuiltFatSectors\":" + jsonList(img.fatSectors);
        j += ",\"rebuiltDirStart\":" + std::to_string(img.dirStart);
        j += ",\"rebuiltMiniFatStart\":" + std::to_string(img.miniFatStart);
    }
    return j;
}

// The compound file's allocation tables, as JSON members.
std::string compoundMembers(const DocSalvage& s) {
    const CCompoundFile& cf = *s.compound;
    std::string j = ",\"fatSectors\":" + jsonList(cf.fatSectorList);
    j += ",\"difatSectors\":" + jsonList(cf.difatSectorList);
    j += ",\"dirStart\":" + std::to_string(cf.dirStart);
    j += ",\"miniFatStart\":" + std::to_string(cf.miniFatStart);
    j += ",\"sectorLimit\":" + std::to_string(cf.sectorLimit);
    j += ",\"directoryEntries\":" + std::to_string(cf.directoryEntryCount);
    j += ",\"invalidFatValues\":" + std::to_string(s.invalidFatValues);
    return j;
}

// Each entry's path from the walk: a storage comes just before what it holds.
std::vector<std::string> entryPaths(const CDocStorage& st) {
    std::vector<std::string> paths(st.entries.size());
    for (size_t i = 0; i < st.entries.size(); ++i)
        paths[i] = utf16leToUtf8(st.entries[i].rawName);
    std::vector<std::string> open;
    for (const WalkStep& step : st.traversal) {
        open.resize(static_cast<size_t>(step.depth));
        const CStreamEntry& e = st.entries[static_cast<size_t>(step.entry)];
        std::string prefix;
        for (const std::string& o : open)
            prefix += o + "/";
        paths[static_cast<size_t>(step.entry)] = prefix + utf16leToUtf8(e.rawName);
        if (e.type == kCfbTypeStorage)
            open.push_back(utf16leToUtf8(e.rawName));
    }
    return paths;
}

// One directory entry as a JSON object; a stream also gives what of it reads and its hash.
std::string entryJson(const CDocStorage& st, size_t i, const std::string& path) {
    const CStreamEntry& e = st.entries[i];
    std::string j = "{\"index\":" + std::to_string(i);
    j += ",\"name\":" + jsonString(utf16leToUtf8(e.rawName));
    j += ",\"path\":" + jsonString(path);
    j += ",\"type\":" + std::to_string(e.type);
    j += ",\"start\":" + std::to_string(e.startSector);
    j += ",\"size\":" + std::to_string(e.size);
    j += ",\"depth\":" + std::to_string(e.depth);
    j += ",\"rawSearch\":" + std::string(e.dirIndex < 0 ? "true" : "false");
    if (e.nested)
        j += ",\"nested\":true";
    if (e.type == kCfbTypeStream) {
        std::vector<uint8_t> data = st.ReadWholeStream(e);
        j += ",\"bytesRead\":" + std::to_string(data.size());
        j += ",\"sha256\":" + jsonString(sha256Hex(data));
    }
    return j + "}";
}

// The directory: whether its tree was walked, the roles chosen and every entry.
std::string storageMembers(const CDocStorage& st) {
    std::string j = ",\"treeWalked\":" + std::string(st.treeWalked ? "true" : "false");
    j += ",\"roles\":{\"WordDocument\":" + std::to_string(st.wordDocumentIndex) +
         ",\"1Table\":" + std::to_string(st.table1Index) +
         ",\"0Table\":" + std::to_string(st.table0Index) +
         ",\"Data\":" + std::to_string(st.dataIndex) +
         ",\"Root Entry\":" + std::to_string(st.rootEntryIndex) + "}";
    const std::vector<std::string> paths = entryPaths(st);
    j += ",\"entries\":[";
    for (size_t i = 0; i < st.entries.size(); ++i)
        j += (i ? "," : "") + entryJson(st, i, paths[i]);
    return j + "]";
}

// The salvage's findings for one file as one JSON object.
std::string inspectJson(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    DocContext ctx;
    DocSalvage s = SalvageDocFile(bytes, ctx, true);
    std::string j = "{" + jsonPathMembers("file", path.native());
    j += ",\"size\":" + std::to_string(bytes.size());
    j += ",\"result\":" + std::to_string(s.result);
    j += ",\"resultText\":" + jsonString(resultName(s.result));
    j += ",\"statusCode\":" + std::to_string(ctx.statusCode);
    if (s.image)
        j += imageMembers(s);
    if (s.compound)
        j += compoundMembers(s);
    if (s.storage)
        j += storageMembers(*s.storage);
    j += ",\"reader\":" + readerJson(bytes);
    return j + "}";
}

}  // namespace

int runInspect(const std::vector<std::string>& args) {
    constexpr const char* kCommand = "morvel inspect";
    enum : int { kOptJson = 256 };
    static const option kLongOptions[] = {
        {"json", no_argument, nullptr, kOptJson},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    std::vector<std::string> files;
    OptionReader reader(kCommand, args, "h", kLongOptions);
    for (int c; (c = reader.next()) != OptionReader::kEnd;) {
        if (c == OptionReader::kOperand)
            files.push_back(reader.value());
        else if (c == 'h')
            return std::fputs(commandHelp("inspect"), stdout), kExitAllFull;
        else if (c != kOptJson)  // JSON Lines is the only form; --json says so explicitly
            return usageError(kCommand, "");
    }
    files.insert(files.end(), reader.operands().begin(), reader.operands().end());
    if (files.empty())
        return usageError(kCommand, "give one or more .doc or .docx files");
    int rc = 0;
    for (const std::string& a : files) {
        std::vector<uint8_t> bytes;
        try {
            const ReadStatus st = readWholeFile(a, bytes);
            if (st != ReadStatus::Ok) {
                std::fprintf(stderr, "morvel inspect: cannot read %s: %s\n", a.c_str(),
                             readStatusText(st));
                rc = kExitSomeFailed;
                continue;
            }
            // The bytes decide: a ZIP package gets the ZIP salvage's findings.
            const std::string report =
                looksLikeZip(a, bytes) ? zipInspectJson(a, bytes) : inspectJson(a, bytes);
            std::printf("%s\n", report.c_str());
        } catch (const std::bad_alloc&) {
            std::vector<uint8_t>().swap(bytes);
            std::fprintf(stderr, "morvel inspect: %s: %s\n", a.c_str(), kNotEnoughMemoryMessage);
            rc = kExitSomeFailed;
        }
    }
    return rc;
}

}  // namespace morvel::cli
