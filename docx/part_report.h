#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvel {

// What became of one part of a recovered package.
enum class PartState : uint8_t {
    Intact,        // found whole, its CRC holds
    Repaired,      // its CRC failed or its stream broke, and it was decoded to its declared size
    Partial,       // decoded only in part: decodedBytes of declaredBytes
    Synthesised,   // lost, and written anew from the parts present
    FromTemplate,  // lost, and taken from the template package
    LeftOut,       // lost, and left out with every reference to it
};

// Stable lower-case name of a state, as the command line's JSON and text print it.
std::string_view partStateName(PartState state);

struct PartReport {
    std::string name;
    PartState state = PartState::Intact;
    uint64_t decodedBytes = 0;
    uint64_t declaredBytes = 0;
};

// Every part of one recovery with its state, plus what the salvage had to give up.
struct PackageReport {
    std::vector<PartReport> parts;
    // The per-document inflate budget ran out; entries past it were not decoded.
    bool inflateBudgetExhausted = false;

    // One line for a person: what was lost or repaired ("word/document.xml: partial, 71 %
    // decoded; 2 images lost; content types rebuilt"); empty when every part is intact.
    std::string summary() const;
};

}  // namespace morvel
