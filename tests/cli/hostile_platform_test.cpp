// The command line against what the system can throw at it: inputs that are not files, a
// document larger than the memory the process may use, runs that were killed, and stop signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "tests/support/cli_runner.h"
#include "tests/support/test_files.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MORVEL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MORVEL_TEST_SANITIZED 1
#endif
#endif

namespace morvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: each case ends in milliseconds, a hang ends here with status 124.
constexpr const char* kHangLimitSeconds = "30";
constexpr int kTimedOut = 124;

// A small .doc-named file whose text the raw and filtered extractions both find.
std::vector<uint8_t> textDocBytes(size_t lines = 1) {
    std::string line(1000, 'a');
    line += "\r\n";
    std::string body;
    body.reserve(line.size() * lines + 2);
    for (size_t i = 0; i < lines; ++i)
        body += line;
    std::vector<uint8_t> bytes = test::bytesOf(body);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Sets an environment variable for the programs a test starts, and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A private runtime folder, so the runs' working folder is $dir/morvel.
struct Runtime {
    test::TempDir dir;
    ScopedEnv env{"XDG_RUNTIME_DIR", dir.path().string()};
    fs::path working() const { return dir.path() / "morvel"; }
    std::vector<std::string> runFolders() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(working(), ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        return names;
    }
};

test::CliResult morvelWithin(std::vector<std::string> args, const fs::path& cwd) {
    args.insert(args.begin(), {kHangLimitSeconds, MORVEL_CLI_PATH});
    return test::runProgram("/usr/bin/timeout", args, cwd);
}

std::vector<std::string> partialFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".partial-") != std::string::npos)
            names.push_back(e.path().filename().string());
    return names;
}

TEST(CliHostilePlatform, FifosDevicesAndSocketsAreRefusedAtOnce) {
    test::TempDir dir;
    const fs::path fifo = dir.path() / "pipe.doc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A socket file named like a document.
    const fs::path sock = dir.path() / "sock.doc";
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.string().size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sock.c_str(), sock.string().size() + 1);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    test::writeFile(dir.path() / "good.doc", textDocBytes());

    for (const std::string& command : std::vector<std::string>{"recover", "inspect"}) {
        for (const std::string& input : {fifo.string(), std::string("/dev/zero"), sock.string()}) {
            SCOPED_TRACE(command + " " + input);
            Runtime runtime;
            // A good document after it is still handled: one bad input fails alone.
            auto r =
                morvelWithin(command == "recover"
                                 ? std::vector<std::string>{command, "--force", input, "good.doc"}
                                 : std::vector<std::string>{command, input, "good.doc"},
                             dir.path());
            EXPECT_EQ(r.exitCode, 2) << r.err;
            EXPECT_NE(r.err.find(input + ": not a regular file"), std::string::npos) << r.err;
            if (command == "recover")
                EXPECT_NE(r.out.find("good.doc: text only"), std::string::npos) << r.out;
            else
                EXPECT_NE(r.out.find("\"file\":\"good.doc\""), std::string::npos) << r.out;
        }
    }
    ::close(s);
}

TEST(CliHostilePlatform, ADocumentBeyondTheMemoryLimitFailsAloneAndTheBatchGoesOn) {
#ifdef MORVEL_TEST_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    if (!fs::exists("/usr/bin/prlimit"))
        GTEST_SKIP() << "prlimit is not installed";
    test::TempDir dir;
    Runtime runtime;
    // 1.5 GiB of zeros: sparse, so it costs no disk, and it can only fail on the allocation.
    const fs::path big = dir.path() / "huge.doc";
    test::writeFile(big, {});
    fs::resize_file(big, 1536ull << 20);
    test::writeFile(dir.path() / "small.doc", textDocBytes());
    fs::create_directory(dir.path() / "out");

    auto r = test::runProgram("/usr/bin/prlimit",
                              {"--as=1073741824", "--", "/usr/bin/timeout", kHangLimitSeconds,
                               MORVEL_CLI_PATH, "recover", "huge.doc", "small.doc", "-o", "out"},
                              dir.path());
    fs::remove(big);
    EXPECT_EQ(r.exitCode, 2) << r.err;  // some document failed, nothing crashed
    EXPECT_NE(r.err.find("huge.doc: not enough memory to read this document"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("small.doc: text only"), std::string::npos) << r.out;
    EXPECT_EQ(test::readFile(dir.path() / "out" / "small_Raw_text.txt").size(), 1002u);
    EXPECT_TRUE(runtime.runFolders().empty());
}

// Holds the lock of a run folder in a child process until the object goes away.
class LockHolder {
  public:
    explicit LockHolder(const fs::path& lockFile) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release_, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(release_[1]);  // so the parent's close is seen as the end of the pipe
            int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
            char c = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(release_[0], &c, 1);
            ::_exit(0);
        }
        char c = 0;
        held_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1 && c == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~LockHolder() {
        ::close(release_[1]);
        ::close(release_[0]);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool held() const { return held_; }

  private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool held_ = false;
};

TEST(CliHostilePlatform, AStartRemovesRunFoldersWhoseProcessIsGone) {
    test::TempDir dir;
    Runtime runtime;
    ASSERT_TRUE(fs::create_directory(runtime.working()));
    fs::permissions(runtime.working(), fs::perms::owner_all);
    // A killed run: its lock file is there and nobody holds it; it kept a big result.
    const fs::path stale = runtime.working() / "run-Stale1";
    fs::create_directory(stale);
    test::writeFile(stale / "lock", {});
    test::writeFile(stale / "temp1", test::bytesOf("left behind"));
    // A live run of another process.
    const fs::path live = runtime.working() / "run-Live22";
    fs::create_directory(live);
    LockHolder holder(live / "lock");
    ASSERT_TRUE(holder.held());

    test::writeFile(dir.path() / "a.doc", textDocBytes());
    auto r = morvelWithin({"recover", "a.doc"}, dir.path());
    EXPECT_LE(r.exitCode, 1) << r.err;
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live / "lock"));
    EXPECT_EQ(runtime.runFolders(), std::vector<std::string>{"run-Live22"});
}

// Starts morvel without waiting; its output streams go to files in `capture`.
pid_t startMorvel(const std::vector<std::string>& args, const fs::path& cwd,
                  const fs::path& capture) {
    std::vector<std::string> store{MORVEL_CLI_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = (capture / "out").string(), err = (capture / "err").string();
    pid_t pid = ::fork();
    if (pid == 0) {
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || ::chdir(cwd.c_str()) != 0)
            ::_exit(127);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits until a name containing `part` is created in `folder`; false when `pid` ended first
// or nothing came within the time limit.
bool waitForCreation(int inotifyFd, const std::string& part, pid_t pid) {
    const auto until = std::chrono::steady_clock::now() + 30s;
    alignas(inotify_event) char buf[4096];
    while (std::chrono::steady_clock::now() < until) {
        ssize_t n = ::read(inotifyFd, buf, sizeof buf);
        for (ssize_t off = 0; off < n;) {
            auto* ev = reinterpret_cast<inotify_event*>(buf + off);
            if (ev->len && std::string(ev->name).find(part) != std::string::npos)
                return true;
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
        if (n <= 0) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid)
                return false;
            std::this_thread::sleep_for(1ms);
        }
    }
    return false;
}

TEST(CliHostilePlatform, AStopSignalRemovesUnfinishedResultsAndTheRunFolder) {
    struct Case {
        int signal;
        const char* when;  // the name whose creation triggers the signal
        int exitCode;
    } cases[] = {
        {SIGTERM, ".partial-", 143},  // while a result is being written
        {SIGINT, "run-", 130},        // while the document is being read and recovered
    };
    test::TempDir dir;
    // 24 MB of text: each of its results takes a while to write.
    test::writeFile(dir.path() / "long.doc", textDocBytes(24000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        Runtime runtime;
        ASSERT_TRUE(fs::create_directory(runtime.working()));
        fs::permissions(runtime.working(), fs::perms::owner_all);
        const fs::path out = dir.path() / "out";
        fs::remove_all(out);
        fs::create_directory(out);
        test::TempDir capture;

        int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(fd, 0);
        const fs::path watched = std::string(c.when) == "run-" ? runtime.working() : out;
        ASSERT_GE(::inotify_add_watch(fd, watched.c_str(), IN_CREATE), 0);
        pid_t pid = startMorvel({"recover", "long.doc", "-o", "out"}, dir.path(), capture.path());
        ASSERT_GT(pid, 0);
        const bool seen = waitForCreation(fd, c.when, pid);
        ::close(fd);
        EXPECT_TRUE(seen) << "the run ended before the moment to stop it";
        ::kill(pid, c.signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (!seen)
            continue;
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
        EXPECT_TRUE(partialFiles(out).empty());
        EXPECT_TRUE(runtime.runFolders().empty());
        auto err = test::readFile(capture.path() / "err");
        EXPECT_NE(std::string(err.begin(), err.end()).find("stopped by SIG"), std::string::npos);
    }
}

}  // namespace
}  // namespace morvel
