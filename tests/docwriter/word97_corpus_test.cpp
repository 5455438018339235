#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "doc/doc_salvage.h"
#include "docwriter/recover_doc_file.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

// The words of a text, whitespace and layout ignored.
std::map<std::string, int> wordsOf(const std::string& text) {
    std::map<std::string, int> words;
    std::istringstream in(text);
    std::string w;
    while (in >> w)
        ++words[w];
    return words;
}

// How much of the reference text (in words, with repeats) the other text holds, in percent;
// -1 when the reference has no words.
int matchPercent(const std::string& reference, const std::string& other) {
    const std::map<std::string, int> ref = wordsOf(reference), got = wordsOf(other);
    int total = 0, matched = 0;
    for (const auto& [word, count] : ref) {
        total += count;
        auto it = got.find(word);
        if (it != got.end())
            matched += std::min(count, it->second);
    }
    return total == 0 ? -1 : matched * 100 / total;
}

// How many of the distinct ASCII words (3 letters or more) of a text occur in a file's bytes,
// as 8-bit or as UTF-16LE characters, in percent; -1 when the text has none. Unlike a
// comparison with a rendering of the file, field codes and header texts count as the file's.
int foundInFilePercent(const std::string& text, const std::vector<uint8_t>& file) {
    std::set<std::string> words;
    std::string w;
    for (char c : text + " ") {
        if (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) {
            w += c;
            continue;
        }
        if (w.size() >= 3)
            words.insert(w);
        w.clear();
    }
    int found = 0;
    for (const std::string& word : words) {
        std::vector<uint8_t> wide;
        for (char c : word) {
            wide.push_back(static_cast<uint8_t>(c));
            wide.push_back(0);
        }
        if (std::search(file.begin(), file.end(), word.begin(), word.end()) != file.end() ||
            std::search(file.begin(), file.end(), wide.begin(), wide.end()) != file.end())
            ++found;
    }
    return words.empty() ? -1 : static_cast<int>(found * 100 / words.size());
}

std::string readText(const fs::path& p) {
    const std::vector<uint8_t> bytes = test::readFile(p);
    std::string text(bytes.begin(), bytes.end());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);  // the byte-order mark LibreOffice puts first
    return text;
}

// Converts every file to text with LibreOffice in one batch (it is slow to start).
void convertWithLibreOffice(const std::vector<fs::path>& files, const fs::path& outDir,
                            const fs::path& profile) {
    std::string cmd = "timeout 900 soffice -env:UserInstallation=file://" + profile.string() +
                      " --headless --convert-to txt:Text --outdir " +
                      test::shellQuote(outDir.string());
    for (const fs::path& f : files)
        cmd += " " + test::shellQuote(f.string());
    std::string output;
    test::runCommand(cmd + " 2>&1", output);
}

// Damage done to a file before it is recovered.
struct Damage {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> apply;
};

// The WordDocument stream's first bytes located in the image and zeroed (its FIB wiped).
void wipeFib(std::vector<uint8_t>& image) {
    DocContext ctx;
    DocSalvage s = SalvageDocFile(image, ctx, true);
    if (!s.storage || !s.storage->wordDocument())
        return;
    const std::vector<uint8_t> wd = s.storage->ReadWholeStream(*s.storage->wordDocument());
    if (wd.size() < 4096)
        return;  // in the mini stream: its first 512 bytes are not in one place
    auto at = std::search(image.begin(), image.end(), wd.begin(), wd.begin() + 512);
    if (at != image.end())
        std::fill(at, at + 512, 0);
}

const Damage kDamages[] = {
    {"intact", [](std::vector<uint8_t>&) {}},
    {"header", [](std::vector<uint8_t>& b) { std::fill(b.begin(), b.begin() + 512, 0); }},
    {"prefix", [](std::vector<uint8_t>& b) { b.insert(b.begin(), 1024, 0x5A); }},
    {"fib", wipeFib},
    // A cut-off download: the end of the file is missing.
    {"cut70", [](std::vector<uint8_t>& b) { b.resize(b.size() * 70 / 100); }},
    {"cut90", [](std::vector<uint8_t>& b) { b.resize(b.size() * 90 / 100); }},
    {"flips",
     [](std::vector<uint8_t>& b) {
         uint32_t x = 12345;
         for (size_t i = 0; i < b.size() / 10000 + 1; ++i) {
             x = x * 1103515245 + 12345;
             b[(x >> 8) % b.size()] ^= 0xFF;
         }
     }},
};

struct Row {
    std::string file, damage;
    int code = 0;
    fs::path output;
    bool antiword = false, office = false;
    int match = -1;
    int kept = -1;  // how much of the result's text is found in the original file, in percent
};

TEST(Word97Corpus, RecoveredDocumentsOpenAndKeepTheirText) {
    const std::vector<fs::path> files = test::corpusFiles("doc");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    test::TempDir dir;
    std::vector<Row> rows;
    for (const fs::path& f : files) {
        for (const Damage& d : kDamages) {
            Row row;
            row.file = f.filename().string();
            row.damage = d.name;
            std::vector<uint8_t> image = test::readFile(f);
            d.apply(image);
            DocContext ctx;
            row.output = dir.path() / (f.stem().string() + "_" + d.name + ".doc");
            std::vector<uint8_t> document;
            row.code = RecoverDocFile(image, document, ctx).code;
            if (!document.empty())
                test::writeFile(row.output, document);
            rows.push_back(row);
        }
    }

    const bool antiword = test::haveProgram("antiword");
    const bool office = test::haveProgram("soffice");
    const fs::path texts = dir.path() / "texts";
    fs::create_directories(texts);
    if (office) {
        std::vector<fs::path> toConvert = files;
        for (const Row& r : rows)
            if (fs::exists(r.output))
                toConvert.push_back(r.output);
        convertWithLibreOffice(toConvert, texts, dir.path() / "profile");
    }
    auto textOf = [&](const fs::path& p) { return texts / (p.stem().string() + ".txt"); };

    std::printf("%-30s %-7s %5s %6s %5s %4s %4s\n", "file", "damage", "code", "match", "kept", "lo",
                "aw");
    for (Row& r : rows) {
        if (!fs::exists(r.output))
            continue;
        std::string out;
        r.antiword = antiword &&
                     test::runCommand("antiword " + test::shellQuote(r.output) + " >/dev/null 2>&1",
                                      out) == 0;
        r.office = office && fs::exists(textOf(r.output));
        const fs::path reference = textOf(test::corpusDir() / "doc" / r.file);
        if (r.office && fs::exists(reference)) {
            r.match = matchPercent(readText(reference), readText(textOf(r.output)));
            r.kept = foundInFilePercent(readText(textOf(r.output)),
                                        test::readFile(test::corpusDir() / "doc" / r.file));
        }
    }
    for (const Row& r : rows)
        std::printf("%-30s %-7s %5d %6d %5d %4s %4s\n", r.file.c_str(), r.damage.c_str(), r.code,
                    r.match, r.kept, r.office ? "yes" : "no", r.antiword ? "yes" : "no");

    // List labels (bullets, "1)") come from list tables the recovered document does not
    // carry, so a few percent of the reference words are missing even from a whole file.
    constexpr int kMinMatch = 90;
    // Table cells whose marks LibreOffice drops join their words ("1Row") in the rendering.
    constexpr int kMinKept = 80;
    std::map<std::string, int> intactCode;
    for (const Row& r : rows)
        if (r.damage == std::string("intact"))
            intactCode[r.file] = r.code;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file + " " + r.damage);
        const bool word97 =
            intactCode[r.file] == kRecoverDocWritten || intactCode[r.file] == kRecoverDocTextOnly;
        const bool written = r.code == kRecoverDocWritten || r.code == kRecoverDocTextOnly;
        if (!word97) {
            // Not a Word 97 document: refused whatever the damage, and nothing written.
            EXPECT_TRUE(r.code == kRecoverDocNotWord97 || r.code == kRecoverDocFailed);
            EXPECT_FALSE(fs::exists(r.output));
            continue;
        }
        const bool cut = r.damage.rfind("cut", 0) == 0;
        // Random flips may hit anything, and a cut may take the document's own streams with
        // it; every other damage still gives a document.
        if (r.damage != std::string("flips") && !cut) {
            EXPECT_TRUE(written) << r.code;
        }
        if (!written || !office)
            continue;
        EXPECT_TRUE(r.office);
        // What a cut-off file gives is the original's text, though its end may be missing.
        if (cut) {
            if (r.kept >= 0) {
                EXPECT_GE(r.kept, kMinKept);
            }
            continue;
        }
        // A wiped FIB loses the piece table's position; a wrong guess may pick up other bytes.
        if (r.match >= 0 && r.damage != std::string("fib")) {
            EXPECT_GE(r.match, kMinMatch);
        }
    }
}

}  // namespace
}  // namespace morvel
