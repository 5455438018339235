// The driver undoes a text-mode transfer's line-end conversion before the engines read a
// file, and says so; the file itself is only read.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/content_route.h"
#include "core/line_end_undo.h"
#include "core/recovery_driver.h"
#include "core/template_store_cache.h"
#include "doc/line_end_repair.h"
#include "docx/line_end_repair.h"
#include "docx/office_broken_repair_2007.h"
#include "platform/collected_errors.h"
#include "platform/le_reader.h"
#include "tests/support/line_end_fixtures.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using test::TextTransfer;

constexpr uint32_t kZipLocalSignature = 0x04034B50;
constexpr TextTransfer kTransfers[] = {TextTransfer::EveryLf, TextTransfer::LoneLf,
                                       TextTransfer::CrLfToLf};

struct DriverRun {
    test::TempDir work, program, docs;
    ProgressModel progress;
    CollectedErrors errors;
    TemplateStoreCache cache;
    RecoveryEnvironment env;

    DriverRun() {
        fs::copy_file(MORVEL_TEMPLATE_STORE, program.path() / kTemplateStoreName);
        env.workingFolder = work.path();
        env.programFolder = program.path();
        env.progress = &progress;
        env.errors = &errors;
        env.templates = &cache;
    }
    // Recovers the bytes from a file of that name, which is then checked to be unchanged.
    DocumentRecord recover(const std::string& name, const std::vector<uint8_t>& bytes) {
        test::writeFile(docs.path() / name, bytes);
        DocumentRecord rec;
        rec.fileName = name;
        rec.folder = docs.path().string();
        RecoverDocument(rec, env);
        EXPECT_EQ(test::readFile(docs.path() / name), bytes);
        return rec;
    }
    // Recovers the bytes handed over as a batch hands them: read and sniffed by the caller.
    DocumentRecord recoverSniffed(const std::string& name, const std::vector<uint8_t>& bytes) {
        DocumentRecord rec;
        rec.fileName = name;
        rec.folder = docs.path().string();
        ContentFormat content = ContentFormat::Unknown;
        rec.format = ResultFormatOf(bytes, name, &content);
        rec.fileData = bytes;
        rec.fileDataContent = content;
        RecoverDocument(rec, env);
        return rec;
    }
};

std::vector<uint8_t> wordDocument() {
    test::Word97Builder b;
    // Text with LFs of its own, stored as 8-bit characters: the FIB, the text and the tables
    // all move when the transfer adds its CRs.
    b.text = u"First line\nsecond line\nthird line\r";
    b.compressed = true;
    b.data = test::binaryWithoutCr(3000, 51);
    return b.buildFile();
}

// A converted Word document and a converted package give the same full document as the
// intact file, and the record says the conversion was undone.
TEST(LineEndDriver, ConvertedFilesRecoverAsTheIntactOnes) {
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } files[] = {
        {"report.doc", wordDocument()},
        {"report.docx", test::buildWordPackage(test::wordPackageParts())},
    };
    for (const auto& f : files) {
        DriverRun run;
        const DocumentRecord intact = run.recover(f.name, f.bytes);
        ASSERT_TRUE(intact.fullData) << f.name;
        EXPECT_FALSE(intact.imageRepair);
        for (TextTransfer how : kTransfers) {
            SCOPED_TRACE(std::string(f.name) + " " + test::transferName(how));
            const std::vector<uint8_t> received = test::transferAsText(f.bytes, how);
            if (received == f.bytes)
                continue;  // nothing for this transfer to change
            const DocumentRecord rec = run.recover(f.name, received);
            ASSERT_TRUE(rec.imageRepair);
            EXPECT_EQ(rec.imageRepair->code, kLineEndRepairCode);
            EXPECT_NE(rec.imageRepair->message.find("line-end conversion undone"),
                      std::string::npos);
            ASSERT_TRUE(rec.fullData);
            EXPECT_TRUE(*rec.fullData == *intact.fullData);
            EXPECT_EQ(rec.fullFailed, 0u);
            // What the caller found the received bytes to be does not stand for the restored
            // ones: the recovery comes to the same result either way.
            const DocumentRecord sniffed = run.recoverSniffed(f.name, received);
            EXPECT_TRUE(sniffed.imageRepair);
            EXPECT_EQ(sniffed.content, rec.content);
            EXPECT_EQ(sniffed.format, rec.format);
            ASSERT_TRUE(sniffed.fullData);
            EXPECT_TRUE(*sniffed.fullData == *rec.fullData);
        }
    }
}

// Every corpus document passed through each transfer: where the restored bytes are the
// original's, the full document is the intact file's byte for byte; no conversion loses the
// full document the intact file gives when every LF became CR LF.
TEST(LineEndDriver, CorpusDocumentsSurviveTextTransfers) {
    std::vector<fs::path> files = test::corpusFiles("doc");
    for (const fs::path& p : test::corpusFiles("docx"))
        files.push_back(p);
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    DriverRun run;
    struct Counts {
        size_t converted = 0, restored = 0, sameFull = 0;
    } counts[std::size(kTransfers)];
    for (const fs::path& path : files) {
        const std::vector<uint8_t> bytes = test::readFile(path);
        const std::string name = path.filename().string();
        const DocumentRecord intact = run.recover(name, bytes);
        for (size_t t = 0; t < std::size(kTransfers); ++t) {
            const TextTransfer how = kTransfers[t];
            SCOPED_TRACE(name + " " + test::transferName(how));
            const std::vector<uint8_t> received = test::transferAsText(bytes, how);
            if (received == bytes)
                continue;
            ++counts[t].converted;
            const DocumentRecord rec = run.recover(name, received);
            const LineEndRepair r = readU32LE(received, 0) == kZipLocalSignature
                                        ? undoPackageLineEnds(received)
                                        : undoCompoundFileLineEnds(received);
            const bool exact = r.undone() && r.bytes == bytes;
            const bool same = intact.fullData && rec.fullData && *intact.fullData == *rec.fullData;
            counts[t].restored += exact;
            counts[t].sameFull += same;
            if (exact && intact.fullData) {
                EXPECT_TRUE(same);
            }
            if (how == TextTransfer::EveryLf && intact.fullData) {
                EXPECT_TRUE(rec.fullData);
            }
        }
    }
    for (size_t t = 0; t < std::size(kTransfers); ++t)
        std::printf(
            "%s: %zu converted, %zu restored byte for byte, %zu with the same full "
            "document\n",
            test::transferName(kTransfers[t]), counts[t].converted, counts[t].restored,
            counts[t].sameFull);
}

}  // namespace
}  // namespace morvel
