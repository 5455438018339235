#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvel::test {

// What a transfer in text mode does to a file's line ends.
enum class TextTransfer {
    EveryLf,   // every LF becomes CR LF, even one already after a CR
    LoneLf,    // every LF not already after a CR becomes CR LF
    CrLfToLf,  // every CR LF becomes LF
};
std::vector<uint8_t> transferAsText(const std::vector<uint8_t>& bytes, TextTransfer how);
const char* transferName(TextTransfer how);

// Bytes of every value but CR, so that the only CR LF pairs of a fixture are those it places;
// about one byte in 255 is an LF.
std::vector<uint8_t> binaryWithoutCr(size_t n, uint32_t seed);

// The first bytes of a PNG file, with their own CR LF.
std::vector<uint8_t> pngStart();

// Text lines ended by CR LF, as a Windows program writes an XML part.
std::string crLfLines(size_t lines);

// A compound file whose streams hold many LFs (some in its FAT values as well) and a few
// original CR LF pairs: a PNG file's start in one stream and CR LF text lines in another.
std::vector<uint8_t> lineEndCompoundFile();

// A ZIP package with deflated and stored entries whose bytes hold LFs and original CR LF
// pairs: a stored PNG start with another CR LF further in, and a deflated entry whose
// compressed bytes hold a CR LF.
std::vector<uint8_t> lineEndPackage();

}  // namespace morvel::test
