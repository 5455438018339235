// Tokenizer, both rewrite rule sets and the markup repair over generated main documents:
//   document: about 20 MB of paragraphs, runs with properties, and tables, as Word writes them;
//   flat:     100 MB of empty elements, one token per 4 bytes (the store's memory per token);
//   deep:     100 MB of elements never closed (must stop at the nesting bound at once).
// Counters: throughput, tokens, and resident bytes the token store added per token.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "docx/markup_repair.h"
#include "docx/markup_rules.h"
#include "docx/markup_store.h"

using namespace morvel;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

std::string document(size_t bytes) {
    std::string s = kDecl +
                    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/"
                    "2006/main\"><w:body>";
    const std::string paragraph =
        "<w:p w:rsidR=\"00A1\" w:rsidRDefault=\"00B2\"><w:pPr><w:jc w:val=\"both\"/></w:pPr><w:r>"
        "<w:rPr><w:rFonts w:ascii=\"Calibri\"/><w:b/><w:sz w:val=\"24\"/></w:rPr><w:t "
        "xml:space=\"preserve\">Some words of running text, </w:t></w:r><w:r><w:tab/><w:t>and "
        "more after a tab.</w:t></w:r><w:bookmarkStart w:id=\"0\" w:name=\"a\"/></w:p>";
    const std::string table =
        "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tr><w:tc><w:tcPr><w:tcW "
        "w:w=\"100\"/></w:tcPr>" +
        paragraph + "</w:tc></w:tr></w:tbl>";
    for (int i = 0; s.size() < bytes; ++i)
        s += i % 8 == 7 ? table : paragraph;
    return s + "</w:body></w:document>";
}

std::string repeated(const std::string& head, const char* unit, size_t bytes) {
    std::string s = head;
    s.reserve(bytes + 16);
    while (s.size() < bytes)
        s += unit;
    return s;
}

long residentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

void runStore(benchmark::State& state, const std::string& part) {
    uint32_t tokens = 0;
    long added = 0;
    for (auto _ : state) {
        const long before = residentBytes();
        MarkUpStore store;
        store.Tokenize(spanOf(part));
        added = residentBytes() - before;
        std::vector<ByteSpan> segments;
        benchmark::DoNotOptimize(applyFullDocumentRules(store, {}, {}, segments));
        segments.clear();
        benchmark::DoNotOptimize(applyTextOnlyRules(store, segments));
        tokens = store.TokenCount();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * part.size()));
    state.counters["tokens"] = tokens;
    state.counters["store_bytes_per_token"] = tokens ? static_cast<double>(added) / tokens : 0;
}

void BM_TokenizeAndRules_Document(benchmark::State& state) {
    static const std::string part = document(20u << 20);
    runStore(state, part);
}

void BM_TokenizeAndRules_Flat(benchmark::State& state) {
    static const std::string part = repeated(kDecl + "<r>", "<a/>", 100u << 20) + "</r>";
    runStore(state, part);
}

void BM_TokenizeAndRules_Deep(benchmark::State& state) {
    static const std::string part = repeated(kDecl, "<a>", 100u << 20);
    runStore(state, part);
}

void BM_RepairMarkup_Document(benchmark::State& state) {
    static const std::string intact = document(20u << 20);
    // Cut in the middle of a tag, with a stretch lost half way.
    static const std::string part =
        intact.substr(0, intact.size() / 2) + intact.substr(intact.size() / 2 + 4099, 6000000);
    for (auto _ : state)
        benchmark::DoNotOptimize(repairMarkup(spanOf(part), PartRole::MainDocument));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * part.size()));
}

}  // namespace

BENCHMARK(BM_TokenizeAndRules_Document)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenizeAndRules_Flat)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TokenizeAndRules_Deep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepairMarkup_Document)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
