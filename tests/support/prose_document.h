#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvel::test {

// The declaration a word processor writes at the head of a part, with its line end.
inline constexpr const char* kPartDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

// A main document of at least `bytes` of paragraphs whose words are drawn at random from
// seed, written as a word processor writes it (the declaration and its line end, then
// elements with nothing between them). It deflates about as well as real prose does, in
// many blocks.
std::string proseDocument(size_t bytes, uint32_t seed = 1);

}  // namespace morvel::test
