#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace morvel {

// Largest input accepted: the formats handled here use 32-bit sizes and offsets, so a longer
// file cannot be described by them and would only be read short.
inline constexpr uint64_t kMaxInputSize = 0x7FFFFFFFull;

enum class ReadStatus { Ok, CannotOpen, NotRegularFile, TooLarge, ReadError };

// What callers report when a document does not fit in the memory the process may use.
inline constexpr const char* kNotEnoughMemoryMessage = "not enough memory to read this document";

// Reads a whole file into memory. The file is opened read-only and never written. A FIFO, a
// device or a socket is refused without blocking (NotRegularFile), so a pipe with no writer
// cannot hang the caller. Throws std::bad_alloc when the file's size cannot be allocated;
// callers catch it per document and report kNotEnoughMemoryMessage.
ReadStatus readWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out);

// A short reason for a status other than Ok ("not a regular file", ...).
const char* readStatusText(ReadStatus status);

// Temporary files that writeFileAtomic is writing. A thread that ends the process on a signal
// holds the lock, removes them and exits, so no half-written file stays behind; writers take
// the same lock around creating and renaming one, so none is made or renamed meanwhile.
class PartialFiles {
  public:
    std::unique_lock<std::mutex> hold() { return std::unique_lock<std::mutex>(mutex_); }
    // The three calls below need hold().
    void add(const std::filesystem::path& p) { paths_.push_back(p); }
    void drop(const std::filesystem::path& p) { std::erase(paths_, p); }
    void removeAll();

  private:
    std::mutex mutex_;
    std::vector<std::filesystem::path> paths_;
};

// Why writeFileAtomic failed, for callers that act on the kind of failure.
enum class WriteStatus { Ok, CannotCreate, CannotWrite, AlreadyExists, CannotPlace };

// A file written under a temporary name beside its target and flushed to disk, waiting to be
// put in place: the slow half of an atomic write, which any thread may do, apart from the
// rename, which a caller may do later and in an order of its own. A file never placed is
// removed when this goes.
class StagedFile {
  public:
    StagedFile() = default;
    StagedFile(StagedFile&& other) noexcept { *this = std::move(other); }
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() { discard(); }

    // Writes and flushes `bytes` under a temporary name beside `target`. Empty on success,
    // else a reason (`status` gets the kind of failure, and nothing is left behind). With
    // partials, the temporary name is listed there while it exists.
    std::string stage(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                      PartialFiles* partials = nullptr, WriteStatus* status = nullptr);
    // stage() in two halves: write() leaves the file open and unflushed, flush() puts it on
    // the disk. A caller with several files writes them all before it flushes the first, so
    // the folder that holds them is written out once rather than once per file.
    std::string write(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                      PartialFiles* partials = nullptr, WriteStatus* status = nullptr);
    std::string flush(WriteStatus* status = nullptr);
    // Puts the staged file at `target`, which must be in the folder it was staged for (flushed
    // first when it was only written). Without
    // overwrite an existing target is left alone (WriteStatus::AlreadyExists). The temporary
    // name is gone afterwards, whatever the outcome.
    std::string place(const std::filesystem::path& target, bool overwrite,
                      WriteStatus* status = nullptr);
    // Removes the staged file.
    void discard();
    bool staged() const { return !temporary_.empty(); }

  private:
    std::string temporary_;
    std::string target_;  // for messages
    PartialFiles* partials_ = nullptr;
    int fd_ = -1;  // open between write() and flush()
};

// Writes bytes to a temporary name beside the target and renames it into place, so a failed
// write never leaves part of a file under the final name. Without overwrite, an existing target
// is left alone and the call fails (WriteStatus::AlreadyExists). Returns an empty string on
// success, else a reason; `status`, when given, gets the kind of failure.
// With partials, the temporary name is listed there while it exists.
std::string writeFileAtomic(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                            bool overwrite, PartialFiles* partials = nullptr,
                            WriteStatus* status = nullptr);

// True when both paths name one existing file (through a link or another spelling of the
// path); false when either does not exist or cannot be examined.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace morvel
