#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvel {

// A class identifier as stored in a compound file (16 bytes, little-endian fields).
using ClassId = std::array<uint8_t, 16>;

// {00020906-0000-0000-C000-000000000046}: a Word 97-2003 document.
inline constexpr ClassId kWordDocumentClassId = {0x06, 0x09, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Longest name a directory entry can hold, in UTF-16 units (32 with the terminating zero).
inline constexpr size_t kMaxCompoundNameLength = 31;

// The name a compound file gives `text`: each byte one character (so "\001CompObj" keeps its
// control character), at most kMaxCompoundNameLength characters.
std::u16string compoundName(std::string_view text);

// One stream of the in-memory tree: a byte buffer with a write position. Writing past the end
// grows it (a gap left by a seek is zero-filled), and bytes already written can be patched.
class CompoundStream {
  public:
    explicit CompoundStream(std::u16string name) : name_(std::move(name)) {}

    const std::u16string& name() const { return name_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    uint32_t position() const { return pos_; }

    // Writes at the current position and moves past the bytes; returns the count written.
    uint32_t write(std::span<const uint8_t> data);
    uint32_t writeZeros(uint32_t count);
    uint32_t writeU16(uint16_t v);
    uint32_t writeU32(uint32_t v);
    // Moves the write position; a later write beyond the end fills the gap with zeros.
    void seek(uint32_t position) { pos_ = position; }
    // Overwrites bytes already written without moving the position; false when [offset,
    // offset + size) is not inside the stream.
    bool patch(uint32_t offset, std::span<const uint8_t> data);
    bool patchU32(uint32_t offset, uint32_t v);
    // Empties the stream, as creating it again does.
    void truncate() {
        bytes_.clear();
        pos_ = 0;
    }
    // Makes room for `count` bytes in all without touching them, so a stream whose size is
    // known grows without copies and its pages are first written with their bytes. Best
    // effort: when the memory cannot be had, nothing changes.
    void reserve(uint64_t count);
    // Takes `buffer`'s memory as the stream's, emptied: its pages, already touched, are
    // written again rather than fresh ones. Only for an empty stream; else nothing changes.
    void adopt(std::vector<uint8_t>&& buffer);
    // Gives up the stream's buffer (its size, and the room reserved); the stream is left empty.
    std::vector<uint8_t> takeBytes();

  private:
    std::u16string name_;
    std::vector<uint8_t> bytes_;
    uint32_t pos_ = 0;
};

// A storage of the in-memory tree: named streams and sub-storages in creation order.
class CompoundStorage {
  public:
    explicit CompoundStorage(std::u16string name) : name_(std::move(name)) {}

    const std::u16string& name() const { return name_; }
    const ClassId& classId() const { return classId_; }
    void setClass(const ClassId& id) { classId_ = id; }

    // Creates a stream, or empties and returns the stream of that name (names compare without
    // regard to case). A storage of the same name is replaced. Long names are cut to 31 units.
    CompoundStream& createStream(std::u16string_view name);
    CompoundStream& createStream(std::string_view name) { return createStream(compoundName(name)); }
    // Creates a sub-storage, or returns the existing one of that name (a stream of the same
    // name is replaced).
    CompoundStorage& createStorage(std::u16string_view name);
    CompoundStorage& createStorage(std::string_view name) {
        return createStorage(compoundName(name));
    }

    CompoundStream* findStream(std::u16string_view name) const;
    CompoundStorage* findStorage(std::u16string_view name) const;

    struct Child {
        std::unique_ptr<CompoundStream> stream;  // exactly one of the two is set
        std::unique_ptr<CompoundStorage> storage;
        const std::u16string& name() const { return stream ? stream->name() : storage->name(); }
    };
    const std::vector<Child>& children() const { return children_; }

  private:
    Child* find(std::u16string_view name);

    std::u16string name_;
    ClassId classId_{};
    std::vector<Child> children_;
};

// Builds a compound file in memory and serialises it as a version 3 file with 512-byte
// sectors. Streams shorter than 4096 bytes go to the mini stream, as readers expect.
class CompoundFileWriter {
  public:
    CompoundFileWriter() : root_(u"Root Entry") {}

    CompoundStorage& root() { return root_; }
    const CompoundStorage& root() const { return root_; }

    std::vector<uint8_t> serialize() const;
    // The same bytes as serialize(), made from the streams' own buffers: the largest stream's
    // buffer becomes the file (its bytes moved within it, without a copy when it has room for
    // the whole file) and every other stream is freed once copied. The tree keeps its shape,
    // but its streams are left empty.
    std::vector<uint8_t> serializeTakingStreams();
    // Writes the file to `path`, replacing what is there. Empty on success, else a reason.
    std::string save(const std::filesystem::path& path) const;

  private:
    CompoundStorage root_;
};

// A size at least that of the file serialised from `root` once `moreBytes` more bytes in
// `moreStreams` more streams are added to it: room to reserve ahead for the whole file.
uint64_t compoundFileSizeBound(const CompoundStorage& root, uint64_t moreBytes, size_t moreStreams);

// The bytes of the "\005SummaryInformation" stream of a newly created, empty summary
// information property set: one section holding only the code page (Windows-1252).
std::vector<uint8_t> emptySummaryInformation();

// Name of the summary information stream.
inline constexpr std::string_view kSummaryInformationName = "\005SummaryInformation";

}  // namespace morvel
