#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

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

std::string readText(const fs::path& p) {
    const std::vector<uint8_t> bytes = test::readFile(p);
    std::string text(bytes.begin(), bytes.end());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);  // the byte-order mark LibreOffice puts first
    return text;
}

// Converts every file to text with LibreOffice in one batch; returns the folder of the texts.
bool convertWithLibreOffice(const std::vector<fs::path>& files, const fs::path& outDir,
                            const fs::path& profile) {
    std::string cmd = "soffice -env:UserInstallation=file://" + profile.string() +
                      " --headless --convert-to txt:Text --outdir " +
                      test::shellQuote(outDir.string());
    for (const fs::path& f : files)
        cmd += " " + test::shellQuote(f.string());
    std::string output;
    return test::runCommand("timeout 600 " + cmd + " 2>&1", output) == 0;
}

struct Row {
    std::string name;
    int intact = 0, zeroed = 0;
    fs::path output;   // recovered from the intact file
    fs::path output0;  // recovered from the file with its header zeroed
    bool antiword = false, antiword0 = false;
    int match = -1, match0 = -1;
    bool office = false, office0 = false;
};

TEST(Word97Corpus, RecoveredDocumentsOpenAndKeepTheirText) {
    const std::vector<fs::path> files = test::corpusFiles("doc");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    test::TempDir dir;
    std::vector<Row> rows;
    for (const fs::path& f : files) {
        Row row;
        row.name = f.filename().string();
        std::vector<uint8_t> image = test::readFile(f);
        DocContext ctx;
        row.output = dir.path() / (f.stem().string() + "_recovered.doc");
        row.intact = RecoverDocFile(image, row.output, ctx);
        if (image.size() >= 512)
            std::fill(image.begin(), image.begin() + 512, 0);
        DocContext ctx0;
        row.output0 = dir.path() / (f.stem().string() + "_zeroed_recovered.doc");
        row.zeroed = RecoverDocFile(image, row.output0, ctx0);
        rows.push_back(row);
    }

    const bool antiword = test::haveProgram("antiword");
    const bool office = test::haveProgram("soffice");
    std::vector<fs::path> toConvert;
    for (const Row& r : rows) {
        toConvert.push_back(test::corpusDir() / "doc" / r.name);
        for (const fs::path& p : {r.output, r.output0})
            if (fs::exists(p))
                toConvert.push_back(p);
    }
    const fs::path texts = dir.path() / "texts";
    fs::create_directories(texts);
    if (office)
        convertWithLibreOffice(toConvert, texts, dir.path() / "profile");

    std::printf("%-30s %6s %6s %5s %5s %6s %6s %5s %5s\n", "file", "code", "code0", "match",
                "matc0", "lo", "lo0", "aw", "aw0");
    for (Row& r : rows) {
        auto textOf = [&](const fs::path& p) { return texts / (p.stem().string() + ".txt"); };
        const fs::path reference = textOf(test::corpusDir() / "doc" / r.name);
        std::string out;
        if (antiword) {
            r.antiword = fs::exists(r.output) &&
                         test::runCommand(
                             "antiword " + test::shellQuote(r.output.string()) + " >/dev/null 2>&1",
                             out) == 0;
            r.antiword0 = fs::exists(r.output0) &&
                          test::runCommand("antiword " + test::shellQuote(r.output0.string()) +
                                               " >/dev/null 2>&1",
                                           out) == 0;
        }
        if (office) {
            r.office = fs::exists(textOf(r.output));
            r.office0 = fs::exists(textOf(r.output0));
            if (fs::exists(reference) && r.office)
                r.match = matchPercent(readText(reference), readText(textOf(r.output)));
            if (fs::exists(reference) && r.office0)
                r.match0 = matchPercent(readText(reference), readText(textOf(r.output0)));
        }
        std::printf("%-30s %6d %6d %5d %5d %6s %6s %5s %5s\n", r.name.c_str(), r.intact, r.zeroed,
                    r.match, r.match0, r.office ? "yes" : "no", r.office0 ? "yes" : "no",
                    r.antiword ? "yes" : "no", r.antiword0 ? "yes" : "no");
    }

    // List labels (bullets, "1)") are made by the reader from list tables the recovered
    // document does not carry, so a few percent of the reference words are missing.
    constexpr int kMinMatch = 90;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.intact != kRecoverDocWritten && r.intact != kRecoverDocTextOnly) {
            // Not a Word 97 document: refused, and refused again with its header gone.
            EXPECT_TRUE(r.intact == kRecoverDocNotWord97 || r.intact == kRecoverDocFailed);
            EXPECT_TRUE(r.zeroed == kRecoverDocNotWord97 || r.zeroed == kRecoverDocFailed);
            EXPECT_FALSE(fs::exists(r.output));
            continue;
        }
        EXPECT_TRUE(r.zeroed == kRecoverDocWritten || r.zeroed == kRecoverDocTextOnly);
        if (!office)
            continue;
        EXPECT_TRUE(r.office);
        EXPECT_TRUE(r.office0);
        if (r.match >= 0) {
            EXPECT_GE(r.match, kMinMatch);
        }
        if (r.match0 >= 0) {
            EXPECT_GE(r.match0, kMinMatch);
        }
    }
}

}  // namespace
}  // namespace morvel
