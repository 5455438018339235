// Recovers every corpus .docx, intact and damaged, and checks the results with independent
// readers: python3-docx (opens, keeps the main document's words in order) and LibreOffice
// headless (opens; the full document gives the same text as the original). Skipped when the
// corpus or both readers are missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>

#include "docx/office_broken_repair_2007.h"
#include "platform/le_reader.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

bool commandWorks(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> zeroCentralDirectory(std::vector<uint8_t> b) {
    for (size_t p = b.size() >= 22 ? b.size() - 22 : 0; p > 0; --p)
        if (readU32LE(b, p) == kEndRecordSignature) {
            size_t cd = std::min<size_t>(readU32LE(b, p + 16), p);
            std::fill(b.begin() + static_cast<std::ptrdiff_t>(cd), b.end(), 0);
            break;
        }
    return b;
}

std::vector<uint8_t> prependGarbage(std::vector<uint8_t> b) {
    std::vector<uint8_t> g(1024);
    for (uint32_t i = 0, v = 99; i < g.size(); ++i, v = v * 1664525u + 1013904223u)
        g[i] = static_cast<uint8_t>(v >> 24);
    b.insert(b.begin(), g.begin(), g.end());
    return b;
}

std::vector<uint8_t> truncate95(std::vector<uint8_t> b) {
    b.resize(b.size() * 95 / 100);
    return b;
}

// True when the damaged copy still holds the original's main document whole.
bool mainDocumentSurvives(const std::vector<uint8_t>& original,
                          const std::vector<uint8_t>& damaged) {
    ZipBrokenExtractor a, b;
    a.OpenMemory(original.data(), static_cast<uint32_t>(original.size()));
    b.OpenMemory(damaged.data(), static_cast<uint32_t>(damaged.size()));
    uint32_t i = a.FindEntry(spanOf("word/document.xml"));
    uint32_t j = b.FindEntry(spanOf("word/document.xml"));
    return i != kEntryNotFound && j != kEntryNotFound && a.Entry(i).crc == b.Entry(j).crc;
}

std::vector<std::string> wordsOf(const fs::path& txt) {
    std::ifstream in(txt);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> words;
    static const std::regex word(R"([A-Za-z0-9\x80-\xFF]+)");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), word); it != std::sregex_iterator();
         ++it)
        words.push_back(it->str());
    return words;
}

// Share of needles found in hay in order: the longest common subsequence over needles' size.
double shareInOrder(const std::vector<std::string>& needles, const std::vector<std::string>& hay) {
    if (needles.empty())
        return 1.0;
    std::vector<size_t> row(hay.size() + 1, 0), next(hay.size() + 1, 0);
    for (const std::string& n : needles) {
        for (size_t j = 0; j < hay.size(); ++j)
            next[j + 1] = n == hay[j] ? row[j] + 1 : std::max(next[j], row[j + 1]);
        std::swap(row, next);
    }
    return static_cast<double>(row[hay.size()]) / static_cast<double>(needles.size());
}

bool inOrder(const std::vector<std::string>& needles, const std::vector<std::string>& hay) {
    size_t h = 0;
    for (const std::string& n : needles) {
        while (h < hay.size() && hay[h] != n)
            ++h;
        if (h++ >= hay.size())
            return false;
    }
    return true;
}

struct Output {
    fs::path path, original;
    bool full, words, cut;
};

TEST(CorpusRecovery, RecoveredPackagesOpenInOtherReadersAndKeepTheirWords) {
    const auto files = test::corpusFiles("docx");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    const bool python = commandWorks("/usr/bin/python3 -c 'import docx, lxml'");
    const bool office = commandWorks("command -v soffice");
    if (!python && !office)
        GTEST_SKIP() << "neither python3-docx nor LibreOffice is installed";
    const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);

    const std::vector<
        std::pair<std::string, std::function<std::vector<uint8_t>(std::vector<uint8_t>)>>>
        damages = {{"intact", [](std::vector<uint8_t> b) { return b; }},
                   {"nocd", zeroCentralDirectory},
                   {"prefixed", prependGarbage},
                   {"cut95", truncate95}};
    test::TempDir dir;
    std::vector<Output> outputs;
    for (const fs::path& file : files) {
        const std::vector<uint8_t> original = test::readFile(file);
        const bool knownDamaged = file.filename().string().starts_with("dmg_");
        for (const auto& [label, damage] : damages) {
            const std::vector<uint8_t> bytes = damage(original);
            const std::string stem = file.stem().string() + "_" + label;
            const fs::path in = dir.path() / (stem + ".docx");
            test::writeFile(in, bytes);
            const bool wordsKept = !knownDamaged && mainDocumentSurvives(original, bytes);
            for (bool full : {true, false}) {
                OfficeBrokenRepair_2007 engine;
                ASSERT_EQ(engine.OpenDamaged(in), 0);
                ASSERT_EQ(
                    engine.LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size())), 0);
                const fs::path out = dir.path() / (stem + (full ? "_full.docx" : "_text.docx"));
                const int rc = full ? engine.WriteFullPackage(out) : engine.WriteTextPackage(out);
                // Only truncation may lose a part the package cannot do without.
                if (!knownDamaged && label != "cut95") {
                    EXPECT_EQ(rc, 0) << out << ": " << engine.Message().view();
                }
                if (rc == 0)
                    outputs.push_back({out, file, full, wordsKept, label == std::string("cut95")});
            }
        }
    }
    ASSERT_FALSE(outputs.empty());

    if (python) {
        const fs::path manifest = dir.path() / "manifest.tsv";
        std::ofstream m(manifest);
        for (const Output& o : outputs)
            m << o.path.string() << '\t' << o.original.string() << '\t'
              << (o.words ? "words" : "open") << '\n';
        m.close();
        const std::string checker = std::string(MORVEL_TEST_DIR) + "/check_docx_outputs.py";
        EXPECT_EQ(std::system(("/usr/bin/python3 " + checker + " " + manifest.string()).c_str()),
                  0);
    }
    if (office) {
        // One LibreOffice run for every file: starting it is the slow part. A private profile
        // keeps it apart from any other LibreOffice running on the machine.
        const fs::path txt = dir.path() / "txt";
        std::string command = "timeout 900 soffice -env:UserInstallation=file://" +
                              (dir.path() / "profile").string() +
                              " --headless --convert-to txt:Text --outdir " + txt.string();
        for (const fs::path& f : files)
            command += " " + f.string();
        for (const Output& o : outputs)
            command += " " + o.path.string();
        ASSERT_TRUE(commandWorks(command));
        for (const Output& o : outputs) {
            const fs::path got = txt / o.path.filename().replace_extension(".txt");
            EXPECT_TRUE(fs::exists(got)) << o.path << " did not open in LibreOffice";
            if (o.full && o.words && fs::exists(got)) {
                const auto want = wordsOf(txt / o.original.filename().replace_extension(".txt"));
                // A cut-off package may lose part of its styles or numbering, and with them
                // list labels a reader generates; the document's own words must stay.
                if (o.cut)
                    EXPECT_GE(shareInOrder(want, wordsOf(got)), 0.95)
                        << o.path << " lost words of " << o.original;
                else
                    EXPECT_TRUE(inOrder(want, wordsOf(got)))
                        << o.path << " lost words of " << o.original;
            }
        }
    }
}

}  // namespace
}  // namespace morvel
