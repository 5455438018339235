#include "platform/collected_errors.h"

namespace morvel {

void CollectedErrors::showError(const std::string& text) {
    std::lock_guard lock(mutex_);
    texts_.push_back(text);
}

std::vector<std::string> CollectedErrors::texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
}

}  // namespace morvel
