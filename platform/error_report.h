#pragma once

#include <string>

namespace morvel {

// Failures the user must see ("Error in read doc", ...). The GUI shows a dialog, the CLI
// prints to stderr; the texts are fixed by the callers.
class ErrorReport {
  public:
    virtual ~ErrorReport() = default;
    virtual void showError(const std::string& text) = 0;
};

}  // namespace morvel
