#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "docx/local_entry.h"
#include "platform/byte_span.h"

namespace morvel {

// Writes a new ZIP archive entry by entry, never compressing: an entry is either copied raw
// from a salvaged archive or stored from a list of segments. The central directory is kept
// in memory and written by Finish.
class ZipSaveAndStore {
  public:
    virtual ~ZipSaveAndStore();

    // Creates or truncates the file; always 0. Without a file every later call does nothing
    // and Failed() reports it.
    int OpenOutput(const std::filesystem::path& path);
    // Adds one entry. A raw copy takes one segment, the entry's own data, and keeps its
    // salvaged header; otherwise the segments become stored content with a new CRC.
    void AddEntry(LocalEntry entry, const ByteSpan* segments, uint32_t segmentCount, bool rawCopy);
    // Writes the central directory and the end record and closes the file.
    void Finish();

    // True when the file could not be opened or written, or the archive outgrew what the
    // format can describe; the archive on disk is then not to be used.
    bool Failed() const { return failed_; }
    uint32_t Written() const { return written_; }

  private:
    struct CentralRecord {
        uint8_t header[46];
        ByteSpan name;
    };
    void write(ByteSpan bytes, uint64_t& count);

    std::FILE* file_ = nullptr;
    uint32_t written_ = 0;
    bool failed_ = false;
    std::vector<CentralRecord> central_;
};

}  // namespace morvel
