#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvel {

// How bad one thing a salvage found is: none (a sound record), unsure (odd but possibly
// harmless), potential (a defect that was worked around), incorrect (a record or its data
// is wrong and was refused), fatal (nothing usable).
enum class FindingGrade : uint8_t { None, Unsure, Potential, Incorrect, Fatal };

std::string_view findingGradeName(FindingGrade grade);

// A finding as a recovery reports it: its grade and its fixed message.
struct GradedFinding {
    FindingGrade grade = FindingGrade::None;
    std::string message;
};

// Whether a finding of this grade is one a recovery report carries: a record refused or
// nothing usable.
inline bool reportedGrade(FindingGrade grade) {
    return grade == FindingGrade::Incorrect || grade == FindingGrade::Fatal;
}

}  // namespace morvel
