#pragma once

#include <string>
#include <string_view>

namespace morvel::cli {

// The overview that `morvel --help` and `morvel help` print.
const char* generalHelp();

// The help of one command (`morvel recover --help`, `morvel help recover`), or nullptr when
// there is no such command.
const char* commandHelp(std::string_view command);

// What `morvel --version` prints: name and version, copyright, licence.
std::string versionText();

}  // namespace morvel::cli
