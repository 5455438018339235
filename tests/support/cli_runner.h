#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace morvel::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell) in the given folder and collects its exit code and
// both output streams. Standard input is /dev/null.
CliResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd);

}  // namespace morvel::test
