#include "docx/markup_repair.h"

namespace morvel {

std::vector<uint8_t> repairMarkup(ByteSpan damaged) {
    // Placeholder until the repair lands: the bytes as they are.
    if (damaged.absent())
        return {};
    return std::vector<uint8_t>(damaged.begin(), damaged.end());
}

}  // namespace morvel
