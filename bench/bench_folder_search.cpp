// The document search of a folder tree (2000 folders, 12000 files of which 4000 documents)
// beside a plain recursive listing of the same tree that only counts "*.doc*" names, as the
// baseline of what walking the tree costs. Run: build/bench/bench_folder_search
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "discovery/folder_search.h"

namespace {

namespace fs = std::filesystem;

// The tree, made once per run in the temporary folder and removed at exit.
struct Tree {
    fs::path root;
    Tree() {
        std::string tmpl = (fs::temp_directory_path() / "morvel-bench-XXXXXX").string();
        root = ::mkdtemp(tmpl.data());
        for (int a = 0; a < 40; ++a) {
            for (int b = 0; b < 50; ++b) {
                const fs::path dir = root / ("a" + std::to_string(a)) / ("b" + std::to_string(b));
                fs::create_directories(dir);
                for (const char* n : {"x.doc", "y.DOCX", "z.txt", "w.pdf", "v.odt", "u.jpg"})
                    std::ofstream(dir / n) << "x";
            }
        }
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

const Tree& tree() {
    static const Tree t;
    return t;
}

class Quiet : public morvel::StoreObserver {
  public:
    void onStoreMessage(const morvel::StoreMessage&, morvel::MessageReply reply) override {
        reply.handled();
    }
};

void BM_SearchFolderJob(benchmark::State& state) {
    const fs::path root = tree().root;
    Quiet quiet;
    for (auto _ : state) {
        state.PauseTiming();
        morvel::StoreSetup setup;
        setup.workingFolder = root.parent_path() / (root.filename().string() + "-work");
        setup.settingsFile = setup.workingFolder / "settings.ini";
        setup.observer = &quiet;
        std::string error;
        auto store = morvel::OpenDocumentStore(setup, error);
        state.ResumeTiming();
        store->StartSearch(morvel::kJobSearchFolder, root.string());
        store->WaitForWorker(std::chrono::minutes(5));
        store->OnRecoveryDone();
        benchmark::DoNotOptimize(store->recordCount());
        state.PauseTiming();
        store->Shutdown();
        fs::remove_all(setup.workingFolder);
        state.ResumeTiming();
    }
}

void BM_PlainRecursiveListing(benchmark::State& state) {
    const fs::path root = tree().root;
    for (auto _ : state) {
        int found = 0;
        for (const auto& e : fs::recursive_directory_iterator(root))
            found += morvel::matchesDocumentPattern(e.path().filename().string());
        benchmark::DoNotOptimize(found);
    }
}

BENCHMARK(BM_SearchFolderJob)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRecursiveListing)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
