#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace morvel::test {

// True when python3 with python-docx and lxml is installed.
bool pythonDocxAvailable();

// Writes each package (label, bytes) to a temporary folder and opens it with python-docx
// through the checker script (tests/docx/check_docx_outputs.py); returns the checker's
// complaints, empty when every package opened.
std::string packagesThatDoNotOpen(
    const std::string& checker,
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& packages);

}  // namespace morvel::test
