// Runs `morvel recover` on each hostile .docx input at growing sizes, each run in a child with
// a time limit, and prints the CPU time and peak memory of each run with the ratio to the
// previous size: a cost that grows linearly doubles, a quadratic one quadruples.
//
//   hostile_input_survey [--morvel PATH] [--timeout SECONDS] [--memory-mb MB] [--factors 1,2,4]
//                        [--write DIR] [CASE...]
// --write DIR only writes each input at the first factor into DIR.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/hostile_inputs.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Options {
    std::string morvel = MORVEL_CLI_PATH;
    double timeoutSeconds = 60;
    uint64_t memoryMb = 4096;  // address-space limit of each run: the machine is shared
    std::vector<unsigned> factors{1, 2, 4};
    std::string writeDir;
    std::vector<std::string> cases;
};

// Largest file a run may write (its results and working files).
constexpr rlim_t kFileSizeLimit = 2ull << 30;

struct RunResult {
    std::string status;  // "exit N", "timeout", "signal N"
    bool finished = false;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double peakRssMb = 0;
};

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

RunResult runMorvel(const Options& opt, const fs::path& input, const fs::path& work) {
    const fs::path out = work / "out";
    const fs::path runtime = work / "runtime";
    fs::create_directories(out);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const std::string log = (work / "morvel.log").string();
    std::vector<std::string> args{opt.morvel, "recover",    "--force",
                                  "-o",       out.string(), input.string()};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const auto started = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        const rlim_t as = static_cast<rlim_t>(opt.memoryMb) << 20;
        const rlimit mem{as, as}, fsize{kFileSizeLimit, kFileSizeLimit};
        ::setrlimit(RLIMIT_AS, &mem);
        ::setrlimit(RLIMIT_FSIZE, &fsize);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    RunResult r;
    if (pid < 0) {
        r.status = "fork failed";
        return r;
    }
    int status = 0;
    rusage usage{};
    const auto deadline = started + std::chrono::duration<double>(opt.timeoutSeconds);
    bool timedOut = false;
    for (;;) {
        pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    r.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    r.peakRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (timedOut) {
        r.status = "timeout";
    } else if (WIFEXITED(status)) {
        r.status = "exit " + std::to_string(WEXITSTATUS(status));
        r.finished = true;
    } else {
        r.status = "signal " + std::to_string(WTERMSIG(status));
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::remove_all(runtime, ec);
    return r;
}

std::string ratio(double now, double before) {
    if (before <= 0.005)
        return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2fx", now / before);
    return buf;
}

bool parse(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        if (a == "--morvel" || a == "--timeout" || a == "--memory-mb" || a == "--factors" ||
            a == "--write") {
            auto v = value();
            if (!v)
                return false;
            if (a == "--morvel")
                opt.morvel = *v;
            else if (a == "--timeout")
                opt.timeoutSeconds = std::stod(*v);
            else if (a == "--memory-mb")
                opt.memoryMb = std::stoull(*v);
            else if (a == "--write")
                opt.writeDir = *v;
            else {
                opt.factors.clear();
                for (size_t p = 0; p < v->size();) {
                    size_t q = v->find(',', p);
                    opt.factors.push_back(static_cast<unsigned>(std::stoul(v->substr(p, q - p))));
                    p = q == std::string::npos ? v->size() : q + 1;
                }
            }
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else {
            opt.cases.push_back(a);
        }
    }
    return !opt.factors.empty();
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: hostile_input_survey [--morvel PATH] [--timeout SECONDS] "
                     "[--memory-mb MB] [--factors 1,2,4] [--write DIR] [CASE...]\n");
        return 64;
    }
    std::string tmpl = (fs::temp_directory_path() / "morvel-hostile-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = tmpl;

    std::printf("morvel: %s\ntime limit %.0f s, address space %llu MiB per run\n\n",
                opt.morvel.c_str(), opt.timeoutSeconds,
                static_cast<unsigned long long>(opt.memoryMb));
    std::printf("%-22s %6s %10s %-9s %9s %9s %8s %9s %8s\n", "case", "factor", "input", "status",
                "wall s", "cpu s", "cpu x", "peak MB", "rss x");
    for (const auto& c : morvel::test::hostileDocxInputs()) {
        if (!opt.cases.empty() &&
            std::find(opt.cases.begin(), opt.cases.end(), std::string(c.name)) == opt.cases.end())
            continue;
        if (!opt.writeDir.empty()) {
            const fs::path p = fs::path(opt.writeDir) / (std::string(c.name) + ".docx");
            writeFile(p, c.make(opt.factors.front()));
            std::printf("wrote %s\n", p.c_str());
            continue;
        }
        std::optional<RunResult> previous;
        bool gaveUp = false;
        for (unsigned f : opt.factors) {
            if (gaveUp) {
                std::printf("%-22s %5ux %10s %-9s\n", c.name, f, "-", "skipped");
                continue;
            }
            const fs::path input = work / (std::string(c.name) + ".docx");
            const std::vector<uint8_t> bytes = c.make(f);
            writeFile(input, bytes);
            const RunResult r = runMorvel(opt, input, work);
            fs::remove(input);
            std::printf("%-22s %5ux %9.2fM %-9s %9.2f %9.2f %8s %9.1f %8s\n", c.name, f,
                        static_cast<double>(bytes.size()) / 1e6, r.status.c_str(), r.wallSeconds,
                        r.cpuSeconds,
                        previous && previous->finished && r.finished
                            ? ratio(r.cpuSeconds, previous->cpuSeconds).c_str()
                            : "-",
                        r.peakRssMb,
                        previous && previous->finished && r.finished
                            ? ratio(r.peakRssMb, previous->peakRssMb).c_str()
                            : "-");
            std::fflush(stdout);
            gaveUp = !r.finished;  // a larger input would only hit the same limit
            previous = r;
        }
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
