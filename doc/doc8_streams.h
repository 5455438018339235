#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace morvel {

class CDocStorage;

// The streams of a Word 97 document as read from its compound file. Absent streams are
// empty optionals.
struct Doc8Streams {
    std::vector<uint8_t> wordDocument;
    std::optional<std::vector<uint8_t>> table1;  // "1Table"
    std::optional<std::vector<uint8_t>> table0;  // "0Table"
    std::optional<std::vector<uint8_t>> data;
};

// Whether the Data stream (pictures and other embedded bytes) is read as well.
enum class DataStream { Skip, Read };

// Reads the streams that play the Word document's roles in a salvaged directory, each cut
// short where its chain ends or leaves the image. A missing WordDocument stream gives an
// empty one.
Doc8Streams ReadDoc8Streams(const CDocStorage& storage, DataStream data);

}  // namespace morvel
