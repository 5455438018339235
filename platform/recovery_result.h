#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>

namespace morvel {

// What one recovery step came to: the code of the engine or stage that gave it and a one-line
// message saying why. `source` names whose codes `code` is, so that the .doc routine's 52 and
// the .docx engine's 52 are never confused: "doc" (the .doc recovery routine), "docx" (the
// .docx repair engine), "read" (reading the input file).
struct RecoveryResult {
    std::string source;
    int32_t code = 0;
    std::string message;

    // False until a step has set it.
    bool set() const { return !source.empty(); }
    // A stable name for scripts: "doc-status-52", "docx-status-7".
    std::string key() const { return source + "-status-" + std::to_string(code); }
};

// The cause an exception gives, in words a user can read.
inline std::string exceptionCause(const std::exception& e) {
    return dynamic_cast<const std::bad_alloc*>(&e) ? "not enough memory" : e.what();
}

}  // namespace morvel
