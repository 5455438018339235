// Builds the template store "temp.dat" from the template package parts:
//   morvel-make-template-store TEMPLATE_DIR OUTPUT
// TEMPLATE_DIR holds the parts and parts.txt, which lists them in package order.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "docx/local_entry.h"
#include "docx/template_store_writer.h"
#include "docx/zip_save_and_store.h"
#include "platform/file_io.h"

using namespace morvel;

namespace {

// 2026-01-01 00:00 as an MS-DOS date; a fixed stamp keeps the store reproducible.
constexpr uint16_t kDosDate = ((2026 - 1980) << 9) | (1 << 5) | 1;
constexpr uint32_t kSeed = 0x4D6F7276;

int fail(const std::string& why) {
    std::fprintf(stderr, "morvel-make-template-store: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return fail("usage: morvel-make-template-store TEMPLATE_DIR OUTPUT");
    const std::filesystem::path dir = argv[1];
    const std::filesystem::path output = argv[2];
    std::ifstream list(dir / "parts.txt");
    if (!list)
        return fail("cannot read " + (dir / "parts.txt").string());
    std::vector<std::string> names;
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            names.push_back(line);

    std::vector<std::vector<uint8_t>> contents(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        if (readWholeFile(dir / names[i], contents[i]) != ReadStatus::Ok)
            return fail("cannot read part " + names[i]);

    const std::filesystem::path zipPath = output.string() + ".zip.tmp";
    ZipSaveAndStore zip;
    zip.OpenOutput(zipPath);
    for (size_t i = 0; i < names.size(); ++i) {
        LocalEntry e;
        e.modDate = kDosDate;
        e.nameLength = static_cast<uint16_t>(names[i].size());
        e.name = spanOf(names[i]);
        ByteSpan content(contents[i].data(), static_cast<uint32_t>(contents[i].size()));
        zip.AddEntry(e, &content, 1, false);
    }
    zip.Finish();
    std::vector<uint8_t> package;
    const bool ok = !zip.Failed() && readWholeFile(zipPath, package) == ReadStatus::Ok;
    std::error_code ec;
    std::filesystem::remove(zipPath, ec);
    if (!ok)
        return fail("cannot write the template package");

    std::vector<uint8_t> store =
        buildTemplateStore({{"blank", std::move(package)}},
                           "Morvel template store: package 0 is the blank document.", kSeed);
    std::string err = writeFileAtomic(output, store, true);
    if (!err.empty())
        return fail(err);
    return 0;
}
