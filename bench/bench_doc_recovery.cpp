// Full .doc recovery of generated Word 97 documents of 12, 64, 128 and 256 MB (UTF-16 text with a
// character run every 64 characters and a paragraph every 64), in MB/s:
//   BM_RecoverDocFile/MB   the engine in this process, against BM_CopyImage (the image copied
//                          and written to the same place);
//   BM_RecoverCommand/MB   the whole `morvel recover` command in a child process, with its peak
//                          resident memory beside the input size (peak_MB, peak_per_input) and
//                          the bound it must stay within, 3 x (input + largest stream) + 64 MB
//                          (bound_MB), against BM_CopyCommand (`cp` of the same file).
// On a shared machine, read the processor-time figures (the in-process CPU column and
// MB_per_cpu_s): wall time also counts the time other programs had the processors.
// A cost that grows linearly keeps MB/s flat from 12 to 256 MB (64, 128, 256: 1x, 2x, 4x). Each
// figure is the median of five runs. BM_RecoverDocFileRuns/N: the characters per character run (64:
// about 160000 runs in 20 MB, 6: about 1.7 million): 10 times the runs must cost about 10 times the
// property work.
//
//   bench_doc_recovery [benchmark flags]
//   bench_doc_recovery --write-document PATH MB   writes one generated document and exits
// The command is build/cli/morvel beside this program's folder, or $MORVEL_CLI.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "docwriter/recover_doc_file.h"
#include "platform/compound_file_writer.h"
#include "platform/file_io.h"
#include "platform/le_reader.h"

namespace {

namespace fs = std::filesystem;
using namespace morvel;

constexpr uint32_t kTextFc = 1536;
constexpr double kMB = 1024.0 * 1024.0;
// Text bytes per byte of the whole document: 2 per character, plus a character page per 60
// runs and a paragraph page per 20 paragraphs of 64 characters.
constexpr double kBytesPerChar = 2.0 + 512.0 / (64 * 60) + 512.0 / (64 * 20);

struct Shape {
    uint32_t textChars;
    uint32_t charsPerRun;
    bool operator<(const Shape& o) const {
        return textChars != o.textChars ? textChars < o.textChars : charsPerRun < o.charsPerRun;
    }
};

struct Generated {
    std::vector<uint8_t> image;
    size_t largestStream = 0;
};

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
std::vector<uint8_t> addPages(std::vector<uint8_t>& wd, uint32_t textChars, uint32_t step,
                              size_t perPage, bool paragraph) {
    std::vector<uint32_t> lastFcs, pns;
    uint32_t first = kTextFc;
    std::vector<uint32_t> ends;
    for (uint32_t c = step; c <= textChars; c += step) {
        ends.push_back(kTextFc + 2 * c);
        if (ends.size() == perPage || c + step > textChars) {
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

Generated makeDocument(Shape shape) {
    const uint32_t textChars = shape.textChars;
    std::vector<uint8_t> wd(kTextFc, 0);
    wd.reserve(static_cast<size_t>(textChars * kBytesPerChar) + 4096);
    writeU16LE(wd, 0, 0xA5EC);
    writeU16LE(wd, 2, 193);
    writeU16LE(wd, 10, 0x0200);
    writeU32LE(wd, 24, kTextFc);
    writeU32LE(wd, 76, textChars);
    writeU32LE(wd, 152, 93);
    wd.resize(kTextFc + 2 * static_cast<size_t>(textChars));
    for (uint32_t i = 0; i < textChars; ++i)
        writeU16LE(wd, kTextFc + 2 * i, i % 64 == 63 ? '\r' : static_cast<uint16_t>('a' + i % 26));
    wd.resize((wd.size() + 511) / 512 * 512, 0);
    const std::vector<uint8_t> chpBin = addPages(wd, textChars, shape.charsPerRun, 60, false);
    const std::vector<uint8_t> papBin = addPages(wd, textChars, 64, 20, true);
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
    appendU32LE(sed, textChars);
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
    appendU32LE(clx, textChars);
    appendU16LE(clx, 0);
    appendU32LE(clx, kTextFc);
    appendU16LE(clx, 0);
    place(0x1A2, clx);

    Generated g;
    g.largestStream = std::max(wd.size(), tbl.size());
    CompoundFileWriter out;
    out.root().setClass(kWordDocumentClassId);
    out.root().createStream(std::string_view("1Table")).write(tbl);
    out.root().createStream(std::string_view("WordDocument")).write(wd);
    g.image = out.serialize();
    return g;
}

// About `mb` MB of document.
Shape shapeOfSize(int64_t mb) {
    return {static_cast<uint32_t>(static_cast<double>(mb) * kMB / kBytesPerChar), 64};
}

// Documents are made once and kept while the run lasts; the largest is made last.
const Generated& document(Shape shape) {
    static std::map<Shape, Generated> made;
    auto it = made.find(shape);
    if (it == made.end())
        it = made.emplace(shape, makeDocument(shape)).first;
    return it->second;
}

fs::path scratchFolder() {
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("morvel-bench-doc-" + std::to_string(getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

struct ScratchCleaner {
    ~ScratchCleaner() {
        std::error_code ec;
        fs::remove_all(fs::temp_directory_path() / ("morvel-bench-doc-" + std::to_string(getpid())),
                       ec);
    }
};

// The document of about `mb` MB as a file, written once.
const fs::path& documentFile(int64_t mb, size_t* bytes = nullptr, size_t* largest = nullptr) {
    static std::map<int64_t, fs::path> written;
    static std::map<int64_t, std::pair<size_t, size_t>> sizes;
    auto it = written.find(mb);
    if (it == written.end()) {
        // Made for the file alone, so that the in-process image is not kept as well.
        Generated g = makeDocument(shapeOfSize(mb));
        fs::path p = scratchFolder() / ("generated-" + std::to_string(mb) + "mb.doc");
        writeFileAtomic(p, g.image, true);
        sizes[mb] = {g.image.size(), g.largestStream};
        it = written.emplace(mb, p).first;
    }
    if (bytes)
        *bytes = sizes[mb].first;
    if (largest)
        *largest = sizes[mb].second;
    return it->second;
}

std::string cliPath() {
    if (const char* env = std::getenv("MORVEL_CLI"))
        return env;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "cli" / "morvel").string();
}

struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system
    double peakMB = 0;
    int status = -1;
};

// Runs a command with its output thrown away; its wall time and peak resident memory.
ChildRun runChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            std::freopen("/dev/null", "w", stderr) == nullptr)
            _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    ChildRun r;
    struct rusage usage {};
    if (pid > 0 && wait4(pid, &r.status, 0, &usage) == pid) {
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
        auto seconds = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
        };
        r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    return r;
}

// Runs commands from a small process started before any document is made. A child forked from
// this process would begin with all the documents it holds as its resident memory, and the
// peak that wait4 reports would never be less than that.
class Launcher {
  public:
    Launcher() {
        if (::pipe(requests_) != 0 || ::pipe(replies_) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            ::close(requests_[1]);
            ::close(replies_[0]);
            serve();
            _exit(0);
        }
        ::close(requests_[0]);
        ::close(replies_[1]);
    }
    ~Launcher() {
        ::close(requests_[1]);
        ::close(replies_[0]);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    ChildRun run(const std::vector<std::string>& argv) {
        std::string request;
        for (const std::string& a : argv)
            request += a + '\0';
        const uint32_t length = static_cast<uint32_t>(request.size());
        ChildRun r;
        if (pid_ <= 0 || !writeAll(requests_[1], &length, sizeof length) ||
            !writeAll(requests_[1], request.data(), length) || !readAll(replies_[0], &r, sizeof r))
            return ChildRun{};
        return r;
    }

  private:
    void serve() {
        uint32_t length = 0;
        while (readAll(requests_[0], &length, sizeof length)) {
            std::string request(length, '\0');
            if (!readAll(requests_[0], request.data(), length))
                return;
            std::vector<std::string> argv;
            for (size_t at = 0; at < request.size();) {
                const size_t end = request.find('\0', at);
                argv.push_back(request.substr(at, end - at));
                at = end + 1;
            }
            const ChildRun r = runChild(argv);
            if (!writeAll(replies_[1], &r, sizeof r))
                return;
        }
    }
    static bool writeAll(int fd, const void* p, size_t n) {
        const char* c = static_cast<const char*>(p);
        while (n > 0) {
            const ssize_t k = ::write(fd, c, n);
            if (k <= 0)
                return false;
            c += k;
            n -= static_cast<size_t>(k);
        }
        return true;
    }
    static bool readAll(int fd, void* p, size_t n) {
        char* c = static_cast<char*>(p);
        while (n > 0) {
            const ssize_t k = ::read(fd, c, n);
            if (k <= 0)
                return false;
            c += k;
            n -= static_cast<size_t>(k);
        }
        return true;
    }

    int requests_[2] = {-1, -1};
    int replies_[2] = {-1, -1};
    pid_t pid_ = -1;
};

// The one launcher of this run, started by main before the benchmarks.
Launcher& launcher() {
    static Launcher one;
    return one;
}

// Baseline: the image copied and written to the same place.
void BM_CopyImage(benchmark::State& state) {
    const std::vector<uint8_t>& image = document(shapeOfSize(state.range(0))).image;
    const fs::path out = scratchFolder() / "copy.doc";
    for (auto _ : state) {
        std::vector<uint8_t> copy(image);
        writeFileAtomic(out, copy, true);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
    fs::remove(out);
}

// The engine: salvage, reader and writer, the full document written to a file.
void BM_RecoverDocFile(benchmark::State& state) {
    const std::vector<uint8_t>& image = document(shapeOfSize(state.range(0))).image;
    const fs::path out = scratchFolder() / "recovered.doc";
    RecoverDocFindings found;
    for (auto _ : state) {
        DocContext ctx;
        std::vector<uint8_t> recovered;
        const int rc = RecoverDocFile(image, recovered, ctx, &found).code;
        if (rc != kRecoverDocWritten)
            state.SkipWithError("recovery failed");
        writeFileAtomic(out, recovered, true);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
    state.counters["input_MB"] = static_cast<double>(image.size()) / kMB;
    state.counters["chpRuns"] = static_cast<double>(found.chpRunsKept);
    fs::remove(out);
}

// The run count scaling at a fixed size: the argument is characters per character run.
void BM_RecoverDocFileRuns(benchmark::State& state) {
    const Shape shape{10 * 1024 * 1024, static_cast<uint32_t>(state.range(0))};
    const std::vector<uint8_t>& image = document(shape).image;
    const fs::path out = scratchFolder() / "recovered-runs.doc";
    RecoverDocFindings found;
    for (auto _ : state) {
        DocContext ctx;
        std::vector<uint8_t> recovered;
        if (RecoverDocFile(image, recovered, ctx, &found).code != kRecoverDocWritten)
            state.SkipWithError("recovery failed");
        writeFileAtomic(out, recovered, true);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
    state.counters["chpRuns"] = static_cast<double>(found.chpRunsKept);
    fs::remove(out);
}

// One command per iteration, timed from outside; the peak memory of the last run is shown.
void runCommand(benchmark::State& state, bool recover) {
    size_t bytes = 0, largest = 0;
    const fs::path& in = documentFile(state.range(0), &bytes, &largest);
    const fs::path outDir = scratchFolder() / "out";
    fs::create_directories(outDir);
    const std::vector<std::string> argv =
        recover ? std::vector<std::string>{cliPath(), "recover",       in.string(),
                                           "-o",      outDir.string(), "--force"}
                : std::vector<std::string>{"/bin/cp", in.string(), (outDir / "copy.doc").string()};
    ChildRun last;
    std::vector<double> cpu;
    for (auto _ : state) {
        last = launcher().run(argv);
        cpu.push_back(last.cpuSeconds);
        if (!WIFEXITED(last.status) || WEXITSTATUS(last.status) != 0) {
            state.SkipWithError("the command failed");
            break;
        }
        state.SetIterationTime(last.seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    const double inputMB = static_cast<double>(bytes) / kMB;
    state.counters["input_MB"] = inputMB;
    state.counters["peak_MB"] = last.peakMB;
    state.counters["peak_per_input"] = last.peakMB / inputMB;
    // On a shared machine the wall time also counts the time others had the processors; the
    // processor time of the command is what it costs.
    std::sort(cpu.begin(), cpu.end());
    if (!cpu.empty())
        state.counters["MB_per_cpu_s"] = inputMB / cpu[cpu.size() / 2];
    if (recover)
        state.counters["bound_MB"] = 3 * (inputMB + static_cast<double>(largest) / kMB) + 64;
    fs::remove_all(outDir);
}

void BM_RecoverCommand(benchmark::State& state) {
    runCommand(state, true);
}

void BM_CopyCommand(benchmark::State& state) {
    runCommand(state, false);
}

// Five runs of one iteration each, only their median (and spread) shown.
void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(12)->Arg(64)->Arg(128)->Arg(256)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(
        true);
    b->ComputeStatistics(
        "max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_CopyImage)->Apply(sizes);
BENCHMARK(BM_RecoverDocFile)->Apply(sizes);
BENCHMARK(BM_RecoverDocFileRuns)
    ->Arg(64)
    ->Arg(6)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyCommand)->Apply(sizes)->UseManualTime();
BENCHMARK(BM_RecoverCommand)->Apply(sizes)->UseManualTime();

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--write-document") == 0) {
        const Generated g = makeDocument(shapeOfSize(std::atoll(argv[3])));
        const std::string err = writeFileAtomic(argv[2], g.image, true);
        if (!err.empty()) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes, largest stream %zu bytes\n", argv[2], g.image.size(),
                    g.largestStream);
        return 0;
    }
    launcher();
    ScratchCleaner cleaner;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
