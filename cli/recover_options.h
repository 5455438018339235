#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace morvel::cli {

// How much the human-readable output says.
enum class Verbosity { Quiet, Normal, Verbose };

// Everything the recover command was asked to do, as read from its command line.
struct RecoverOptions {
    std::vector<std::filesystem::path> inputs;  // files and folders, in the order given
    std::filesystem::path filesFrom;            // --files-from: a list of PATHs ("-": stdin)
    bool nulSeparated = false;                  // -0: that list is NUL separated
    std::filesystem::path outputDir = ".";
    bool force = false;         // replace results left by an earlier run
    bool skipExisting = false;  // skip a document whose results all exist
    bool json = false;          // JSON Lines on standard output
    bool plainText = false;     // --text: also the best text as NAME_recovered.txt
    Verbosity verbosity = Verbosity::Normal;
    unsigned jobs = 1;  // -j: documents recovered at once (default: the processors)
};

enum class ParseResult { Run, Help, Usage };

// Reads the recover command's arguments (those after "recover"). Prints the usage message
// itself; Help means "--help" was asked for.
ParseResult parseRecoverOptions(const std::vector<std::string>& args, RecoverOptions& options);

// Reads a --files-from list: newline or NUL separated entries, empty entries skipped. False
// with `error` set when the list cannot be read.
bool readFileList(const std::filesystem::path& list, bool nulSeparated,
                  std::vector<std::filesystem::path>& out, std::string& error);

}  // namespace morvel::cli
