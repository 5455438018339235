#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Makes well-formed XML of a part decoded from damaged data: tokens broken by the damage are
// dropped and elements left open are closed, so the rewrite rules and any reader accept it.
std::vector<uint8_t> repairMarkup(ByteSpan damaged);

}  // namespace morvel
