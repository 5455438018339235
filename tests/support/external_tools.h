#pragma once

#include <filesystem>
#include <string>

namespace morvel::test {

// Runs a shell command; returns its exit status and puts what it printed in `output`.
int runCommand(const std::string& command, std::string& output);

// A python3 that can import `module`, or an empty string.
std::string pythonWith(const std::string& module);

// True when `program` is found on PATH.
bool haveProgram(const std::string& program);

// The argument quoted for the shell.
std::string shellQuote(const std::string& text);

}  // namespace morvel::test
