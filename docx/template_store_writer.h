#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvel {

struct StorePackage {
    std::string name;
    std::vector<uint8_t> data;  // a whole ZIP archive
};

// Builds a template store: header, a scrambled record holding note (scrambled with seed),
// a directory whose first sub-record is a passed-over record holding note in clear, then one
// package sub-record per package.
std::vector<uint8_t> buildTemplateStore(const std::vector<StorePackage>& packages,
                                        const std::string& note, uint32_t seed);

}  // namespace morvel
