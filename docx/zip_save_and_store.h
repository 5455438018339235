#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "docx/local_entry.h"
#include "platform/byte_span.h"

namespace morvel {

struct DeflateOriginal;

// Level of the deflate used for rewritten entries: the default balance of size and speed.
inline constexpr int kRewriteDeflateLevel = 6;
// A rewritten entry whose content passes this size is deflated at kLargeDeflateLevel, which
// is several times faster for about a fifth more bytes: real parts mostly stay below it, a
// long report's main document is written while its reader waits, and a hostile part of GiBs
// in seconds.
inline constexpr uint64_t kLargeDeflateThreshold = uint64_t{4} << 20;
inline constexpr int kLargeDeflateLevel = 1;

// Builds a new ZIP archive in memory, entry by entry: an entry is either copied raw from a
// salvaged archive (its compressed bytes as they are) or deflated from a list of segments.
// The central directory is kept aside and appended by Finish.
class ZipSaveAndStore {
  public:
    // Starts an empty archive in memory.
    void OpenMemory();
    // Makes room for an archive of about this size, so building it copies nothing; the pages
    // it does not reach are never touched.
    void Reserve(size_t bytes);
    // Room an entry of this name takes at most when content of this length is deflated anew:
    // its header, its name and the compressor's worst case.
    static size_t EntryRoom(size_t nameLength, uint64_t plainLength);
    // Starts an archive that Finish also writes to path; always 0. A file that cannot be
    // written is reported by Failed() after Finish.
    int OpenOutput(const std::filesystem::path& path);
    // Adds one entry. A raw copy takes one segment, the entry's own data, and keeps its
    // salvaged header; otherwise the segments are deflated as the entry's new content. Given
    // the original the content was rewritten from, its compressed bytes are reused for the
    // part of the content that is still the original's (see spliceDeflate).
    void AddEntry(LocalEntry entry, const ByteSpan* segments, uint32_t segmentCount, bool rawCopy,
                  const DeflateOriginal* original = nullptr);
    // Appends the central directory and the end record (and writes the file, if any).
    void Finish();

    // Deflates segments as an entry's new content ahead of its place in an archive: data
    // gets the compressed bytes and entry the header fields AddEntry would give it, so that
    // AddEntry(entry, {data}, 1, true) then writes what AddEntry(entry, segments, n, false)
    // would have. False when compression failed or the content is too large for the format.
    static bool DeflateEntry(LocalEntry& entry, const ByteSpan* segments, uint32_t segmentCount,
                             std::vector<uint8_t>& data);

    // True when the archive outgrew what the format can describe, compression failed or the
    // file could not be written; the archive is then not to be used.
    bool Failed() const { return failed_; }
    // Size of the archive so far; 0 once it failed.
    uint32_t Written() const { return failed_ ? 0 : static_cast<uint32_t>(bytes_.size()); }
    // How many rewritten entries reused their original's compressed bytes.
    uint32_t Spliced() const { return spliced_; }
    // The archive built so far; after Finish, the whole archive.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t> TakeBytes() { return std::move(bytes_); }

  private:
    struct CentralRecord {
        uint8_t header[46];
        std::string name;
    };
    std::vector<uint8_t> bytes_;
    std::filesystem::path path_;
    bool open_ = false;
    bool failed_ = false;
    uint32_t spliced_ = 0;
    std::vector<CentralRecord> central_;
};

// Writes a built archive to a file, as it is; false when the file cannot be written whole.
bool writeArchiveFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace morvel
