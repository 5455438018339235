#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvel::test {

// Raw deflate (no zlib header) of bytes, as ZIP method 8 stores it.
std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& bytes);

// Builds ZIP archives byte by byte so a test can show exactly which bytes are damaged.
class ZipBuilder {
  public:
    // Appends a local entry (deflated when method is 8) and returns its header's offset.
    // With deferSizes the header carries CRC 0 and sizes 0, flag bit 3 is set and a data
    // descriptor (with its signature) follows the data.
    size_t add(const std::string& name, const std::string& content, uint16_t method = 8,
               bool deferSizes = false);
    // Appends bytes that belong to no entry (garbage, a nested archive, ...).
    size_t addBytes(const std::vector<uint8_t>& bytes);
    // The archive so far plus its central directory and end record.
    std::vector<uint8_t> finish() const;
    // The local records only, with no central directory or end record.
    const std::vector<uint8_t>& localPart() const { return bytes_; }

  private:
    struct Central {
        std::string name;
        uint16_t method, flags;
        uint32_t crc, compressed, uncompressed, offset;
    };
    std::vector<uint8_t> bytes_;
    std::vector<Central> central_;
};

// A minimal package: content types, relationships and the given parts, deflated.
std::vector<uint8_t> makePackage(const std::vector<std::pair<std::string, std::string>>& parts);

}  // namespace morvel::test
