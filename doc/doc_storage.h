#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "doc/compound_file.h"
#include "doc/doc_context.h"
#include "doc/file_image.h"
#include "doc/stream_entry.h"

namespace morvel {

// The directory of a salvaged compound file as the readers see it: the named entries, the
// entries that play the Word document's roles, and ReadStream, through which every byte of a
// stream is read.
class CDocStorage {
  public:
    CDocStorage(const CCompoundFile& file, DocContext& ctx) : file_(file), ctx_(ctx) {}

    // Reads the directory chain; returns the number of named entries.
    int ReadDirectory();
    // Walks the tree below the root entry, giving depths and the walk order and choosing the
    // top-level streams' roles: 0 done, -1 failed. Runs once per storage.
    int WalkDirectoryTree();
    // Makes the missing role entries from directory entries found in the raw image by name.
    void FallbackStreamSearch(const CFileImage& image);

    // Copies `count` bytes (count * 2 when ctx.textIs16Bit) of the entry's stream, from
    // `offset` on, to the start of `dest`. A chain that ends early leaves the rest of `dest`
    // as it was and still succeeds; false when a sector lies outside the image or `dest` is
    // too small.
    bool ReadStream(const CStreamEntry& entry, std::span<uint8_t> dest, int32_t count,
                    int32_t offset) const;
    // The whole stream, cut short where it leaves the image (with the bytes a file cut inside
    // a sector still holds), in a buffer with room for at least `room` bytes (a caller that
    // reuses the buffer for more asks for it). A chain that ends before the entry's size,
    // leaves its table or comes back on itself is continued with the next sector (writers lay
    // streams out in order); each guess and a stream left short are noted in the context's
    // findings.
    std::vector<uint8_t> ReadWholeStream(const CStreamEntry& entry, size_t room = 0) const;
    // Copies what can be read of dest.size() bytes from `offset`; returns the count copied.
    int64_t ReadAvailable(const CStreamEntry& entry, std::span<uint8_t> dest,
                          int64_t offset) const {
        int64_t copied = 0;
        readChain(entry, dest, offset, copied);
        return copied;
    }

    // The entry playing a role, or null.
    const CStreamEntry* wordDocument() const { return at(wordDocumentIndex); }
    const CStreamEntry* data() const { return at(dataIndex); }
    const CStreamEntry* table0() const { return at(table0Index); }
    const CStreamEntry* table1() const { return at(table1Index); }
    const CStreamEntry* rootEntry() const { return at(rootEntryIndex); }
    const CStreamEntry* table() const { return at(tableIndex); }
    const CStreamEntry* at(int32_t index) const {
        return index >= 0 && index < static_cast<int32_t>(entries.size()) ? &entries[index]
                                                                          : nullptr;
    }

    const CCompoundFile& file() const { return file_; }

    std::vector<CStreamEntry> entries;  // named entries in directory order
    int32_t wordDocumentIndex = -1;
    int32_t dataIndex = -1;
    int32_t table0Index = -1;
    int32_t table1Index = -1;
    int32_t rootEntryIndex = -1;
    int32_t tableIndex = -1;  // the chosen table stream (the reader sets it from the FIB)
    bool treeWalked = false;
    bool compObjPresent = false;
    std::vector<WalkStep> traversal;  // the walk order: storages before what they hold

  private:
    // Copies up to dest.size() bytes from `offset`; returns false when a copy would leave
    // the image. `copied` gets the number of bytes copied.
    // With `guesses`, a broken link is replaced by the next sector and counted there.
    bool readChain(const CStreamEntry& entry, std::span<uint8_t> dest, int64_t offset,
                   int64_t& copied, int64_t* guesses = nullptr) const;
    void fillRolesByNearNames();
    CStreamEntry entryAt(int64_t pos, int32_t dirIndex) const;
    void chooseRolesByDepth();
    int32_t findWordDocumentByFib();
    void markNestedEntries();
    bool nestedAt(int64_t imagePos) const;
    void findTableByClx(const CStreamEntry& word);

    const CCompoundFile& file_;
    DocContext& ctx_;
    bool walkDone_ = false;
    // Image positions and first sectors of the embedded objects' entries, sorted.
    std::vector<int64_t> nestedPositions_;
    std::vector<int64_t> nestedStarts_;
};

}  // namespace morvel
