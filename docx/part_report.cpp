#include "docx/part_report.h"

namespace morvel {

std::string_view partStateName(PartState state) {
    switch (state) {
        case PartState::Intact:
            return "intact";
        case PartState::Repaired:
            return "repaired";
        case PartState::Partial:
            return "partial";
        case PartState::Synthesised:
            return "synthesised";
        case PartState::FromTemplate:
            return "template";
        case PartState::LeftOut:
            return "left-out";
    }
    return "intact";
}

std::string PackageReport::summary() const {
    // Filled in with the package rebuild; an empty line says nothing was lost.
    return {};
}

}  // namespace morvel
