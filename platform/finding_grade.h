#pragma once

#include <cstdint>
#include <string_view>

namespace morvel {

// How bad one thing a salvage found is: none (a sound record), unsure (odd but possibly
// harmless), potential (a defect that was worked around), incorrect (a record or its data
// is wrong and was refused), fatal (nothing usable).
enum class FindingGrade : uint8_t { None, Unsure, Potential, Incorrect, Fatal };

std::string_view findingGradeName(FindingGrade grade);

}  // namespace morvel
