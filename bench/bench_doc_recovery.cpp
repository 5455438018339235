// Full .doc recovery of a generated 20 MB Word 97 document, in MB/s, against a plain copy of
// the same image written to the same place. The run count is an argument: its cost must grow
// linearly (10 times the runs, about 10 times the property work).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <vector>

#include "docwriter/recover_doc_file.h"
#include "platform/compound_file_writer.h"
#include "platform/file_io.h"
#include "platform/le_reader.h"

namespace {

using namespace morvel;

constexpr uint32_t kTextChars = 10 * 1024 * 1024;  // 20 MB of UTF-16 text
constexpr uint32_t kTextFc = 1536;

// A page of runs ending at `ends`, alternating two property sets (shared within the page).
std::vector<uint8_t> propertyPage(uint32_t first, const std::vector<uint32_t>& ends,
                                  bool paragraph) {
    std::vector<uint8_t> page(512, 0);
    writeU32LE(page, 0, first);
    for (size_t i = 0; i < ends.size(); ++i)
        writeU32LE(page, 4 * i + 4, ends[i]);
    const size_t entries = 4 * ends.size() + 4;
    // Two sets at the top: bold on and bold off (a paragraph set: cb 0, cb' 2, istd, 2 bytes).
    if (paragraph) {
        const uint8_t a[] = {0, 2, 0, 0, 0x00, 0x24}, b[] = {0, 2, 1, 0, 0x00, 0x24};
        std::copy(std::begin(a), std::end(a), page.begin() + 504);
        std::copy(std::begin(b), std::end(b), page.begin() + 496);
        for (size_t i = 0; i < ends.size(); ++i)
            page[entries + 13 * i] = i % 2 ? 248 : 252;
    } else {
        const uint8_t a[] = {3, 0x35, 0x08, 1}, b[] = {3, 0x35, 0x08, 0};
        std::copy(std::begin(a), std::end(a), page.begin() + 506);
        std::copy(std::begin(b), std::end(b), page.begin() + 500);
        for (size_t i = 0; i < ends.size(); ++i)
            page[entries + i] = i % 2 ? 250 : 253;
    }
    page[511] = static_cast<uint8_t>(ends.size());
    return page;
}

// Appends pages for runs every `step` characters; returns the bin table.
std::vector<uint8_t> addPages(std::vector<uint8_t>& wd, uint32_t step, size_t perPage,
                              bool paragraph) {
    std::vector<uint32_t> lastFcs, pns;
    uint32_t first = kTextFc;
    std::vector<uint32_t> ends;
    for (uint32_t c = step; c <= kTextChars; c += step) {
        ends.push_back(kTextFc + 2 * c);
        if (ends.size() == perPage || c + step > kTextChars) {
            pns.push_back(static_cast<uint32_t>(wd.size() / 512));
            const std::vector<uint8_t> page = propertyPage(first, ends, paragraph);
            wd.insert(wd.end(), page.begin(), page.end());
            first = ends.back();
            lastFcs.push_back(first);
            ends.clear();
        }
    }
    std::vector<uint8_t> bin;
    appendU32LE(bin, kTextFc);
    for (uint32_t fc : lastFcs)
        appendU32LE(bin, fc);
    for (uint32_t pn : pns)
        appendU32LE(bin, pn);
    return bin;
}

std::vector<uint8_t> makeDocument(uint32_t charsPerRun) {
    std::vector<uint8_t> wd(kTextFc, 0);
    writeU16LE(wd, 0, 0xA5EC);
    writeU16LE(wd, 2, 193);
    writeU16LE(wd, 10, 0x0200);
    writeU32LE(wd, 24, kTextFc);
    writeU32LE(wd, 76, kTextChars);
    writeU32LE(wd, 152, 93);
    for (uint32_t i = 0; i < kTextChars; ++i)
        appendU16LE(wd, i % 64 == 63 ? '\r' : static_cast<uint16_t>('a' + i % 26));
    wd.resize((wd.size() + 511) / 512 * 512, 0);
    const std::vector<uint8_t> chpBin = addPages(wd, charsPerRun, 60, false);
    const std::vector<uint8_t> papBin = addPages(wd, 64, 20, true);
    const uint32_t sepx = static_cast<uint32_t>(wd.size());
    appendU16LE(wd, 0);

    std::vector<uint8_t> tbl;
    auto place = [&](uint32_t at, const std::vector<uint8_t>& bytes) {
        writeU32LE(wd, at, static_cast<uint32_t>(tbl.size()));
        writeU32LE(wd, at + 4, static_cast<uint32_t>(bytes.size()));
        tbl.insert(tbl.end(), bytes.begin(), bytes.end());
    };
    place(0xA2, std::vector<uint8_t>(64, 0));
    std::vector<uint8_t> sed;
    appendU32LE(sed, 0);
    appendU32LE(sed, kTextChars);
    appendU16LE(sed, 0);
    appendU32LE(sed, sepx);
    appendU16LE(sed, 0);
    appendU32LE(sed, 0xFFFFFFFF);
    place(0xCA, sed);
    place(0xFA, chpBin);
    place(0x102, papBin);
    std::vector<uint8_t> clx = {2};
    appendU32LE(clx, 16);
    appendU32LE(clx, 0);
    appendU32LE(clx, kTextChars);
    appendU16LE(clx, 0);
    appendU32LE(clx, kTextFc);
    appendU16LE(clx, 0);
    place(0x1A2, clx);

    CompoundFileWriter out;
    out.root().setClass(kWordDocumentClassId);
    out.root().createStream(std::string_view("1Table")).write(tbl);
    out.root().createStream(std::string_view("WordDocument")).write(wd);
    return out.serialize();
}

const std::vector<uint8_t>& document(uint32_t charsPerRun) {
    static std::map<uint32_t, std::vector<uint8_t>> made;
    auto it = made.find(charsPerRun);
    if (it == made.end())
        it = made.emplace(charsPerRun, makeDocument(charsPerRun)).first;
    return it->second;
}

std::filesystem::path outputPath() {
    return std::filesystem::temp_directory_path() /
           ("morvel-bench-doc-" + std::to_string(getpid()) + ".doc");
}

// Baseline: the image copied and written to the same place.
void BM_CopyImage(benchmark::State& state) {
    const std::vector<uint8_t>& image = document(64);
    for (auto _ : state) {
        std::vector<uint8_t> copy(image);
        writeFileAtomic(outputPath(), copy, true);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
    std::filesystem::remove(outputPath());
}
BENCHMARK(BM_CopyImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// Whole recovery, its document written to disk as the baseline writes its copy; the argument is the
// characters per character run (64: about 160000 runs, 6: about 1.7 million).
void BM_RecoverDocFile(benchmark::State& state) {
    const std::vector<uint8_t>& image = document(static_cast<uint32_t>(state.range(0)));
    RecoverDocFindings found;
    for (auto _ : state) {
        DocContext ctx;
        std::vector<uint8_t> recovered;
        const int rc = RecoverDocFile(image, recovered, ctx, &found).code;
        if (rc != kRecoverDocWritten)
            state.SkipWithError("recovery failed");
        writeFileAtomic(outputPath(), recovered, true);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
    state.counters["chpRuns"] = static_cast<double>(found.chpRunsKept);
    std::filesystem::remove(outputPath());
}
BENCHMARK(BM_RecoverDocFile)->Arg(64)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
