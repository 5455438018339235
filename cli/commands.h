#pragma once

#include <string>
#include <vector>

namespace morvel::cli {

// Exit codes of the command line.
enum ExitCode : int {
    kExitAllFull = 0,       // every document recovered with its full document
    kExitSomeTextOnly = 1,  // some document gave only text results
    kExitSomeFailed = 2,    // some document gave nothing, or could not be read
    kExitUsage = 64         // the command line was wrong
};

// Each sub-command takes the arguments after its name, reads its options with getopt_long
// ("--help" prints its help) and returns the process exit code.
int runRecover(const std::vector<std::string>& args);
// Prints what the salvage finds in each file, one JSON object per line (JSON Lines).
int runInspect(const std::vector<std::string>& args);
int runScan(const std::vector<std::string>& args);

}  // namespace morvel::cli
