#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvel::test {

// The deflate level the builder uses unless an entry asks for another: the smallest output.
inline constexpr int kBestDeflateLevel = 9;

// Raw deflate (no zlib header) of bytes, as ZIP method 8 stores it.
std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& bytes, int level = kBestDeflateLevel);

// Builds ZIP archives byte by byte so a test can show exactly which bytes are damaged. Tools
// and benchmarks build their sample packages with it too.
class ZipBuilder {
  public:
    // How an entry's CRC and sizes are written when a data descriptor follows its data.
    struct Entry {
        uint16_t method = 8;
        bool descriptor = false;   // flag bit 3 and a descriptor after the data
        bool headerSizes = false;  // with a descriptor: real CRC and sizes in the header too
        bool descriptorSignature = true;
        bool zip64Descriptor = false;   // 8-byte sizes in the descriptor
        bool zip64Local = false;        // header sizes 0xFFFFFFFF, the real ones in a ZIP64 field
        int level = kBestDeflateLevel;  // of the deflate, when method is 8
    };
    // One central directory record; tests may change its fields before finish().
    struct Central {
        std::string name;
        uint16_t method, flags;
        uint32_t crc, compressed, uncompressed, offset;
        std::vector<uint8_t> extra;
    };

    // Appends a local entry (deflated when method is 8) and returns its header's offset.
    // With deferSizes the header carries CRC 0 and sizes 0, flag bit 3 is set and a data
    // descriptor (with its signature) follows the data.
    size_t add(const std::string& name, const std::string& content, uint16_t method = 8,
               bool deferSizes = false);
    size_t add(const std::string& name, const std::string& content, const Entry& how);
    // Appends bytes that belong to no entry (garbage, a nested archive, ...).
    size_t addBytes(const std::vector<uint8_t>& bytes);
    // The archive so far plus its central directory and end record; centralAt receives each
    // central record's offset.
    std::vector<uint8_t> finish(std::vector<size_t>* centralAt = nullptr) const;
    // The local records only, with no central directory or end record.
    const std::vector<uint8_t>& localPart() const { return bytes_; }
    std::vector<Central>& central() { return central_; }

  private:
    std::vector<uint8_t> bytes_;
    std::vector<Central> central_;
};

// A minimal package: content types, relationships and the given parts, deflated.
std::vector<uint8_t> makePackage(const std::vector<std::pair<std::string, std::string>>& parts);

}  // namespace morvel::test
