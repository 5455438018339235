#include "doc/doc_findings.h"

#include <algorithm>

namespace morvel {

void DocFindings::note(FindingGrade grade, std::string_view message, int64_t at) {
    if (list_.size() < kLimit)
        list_.push_back(DocFinding{grade, message, at});
    else if (list_.size() == kLimit)
        list_.push_back(DocFinding{FindingGrade::Unsure, docfinding::kTooManyFindings, -1});
}

bool DocFindings::has(std::string_view message) const {
    return std::any_of(list_.begin(), list_.end(),
                       [message](const DocFinding& f) { return f.message == message; });
}

void DocFindings::append(const DocFindings& other) {
    for (const DocFinding& f : other.list_) {
        if (f.message == docfinding::kTooManyFindings)
            continue;
        note(f.grade, f.message, f.at);
    }
}

}  // namespace morvel
