#include "platform/finding_grade.h"

namespace morvel {

std::string_view findingGradeName(FindingGrade grade) {
    switch (grade) {
        case FindingGrade::None:
            return "none";
        case FindingGrade::Unsure:
            return "unsure";
        case FindingGrade::Potential:
            return "potential";
        case FindingGrade::Incorrect:
            return "incorrect";
        case FindingGrade::Fatal:
            return "fatal";
    }
    return "none";
}

}  // namespace morvel
