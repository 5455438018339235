#include "cli/recover_options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli/option_reader.h"

namespace morvel::cli {

namespace {

constexpr const char* kCommand = "morvel recover";
// More workers than this only add memory: each holds a whole document.
constexpr long kMostJobs = 1024;

enum LongOnly : int {
    kOptJson = 256,
    kOptFilesFrom,
    kOptSkipExisting,
    kOptText,
};

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"force", no_argument, nullptr, 'f'},
    {"json", no_argument, nullptr, kOptJson},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"files-from", required_argument, nullptr, kOptFilesFrom},
    {"null", no_argument, nullptr, '0'},
    {"skip-existing", no_argument, nullptr, kOptSkipExisting},
    {"text", no_argument, nullptr, kOptText},
    {"jobs", required_argument, nullptr, 'j'},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

unsigned processors() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

}  // namespace

ParseResult parseRecoverOptions(const std::vector<std::string>& args, RecoverOptions& options) {
    options.jobs = processors();
    OptionReader reader(kCommand, args, "o:fqv0j:h", kLongOptions);
    bool quiet = false, verbose = false;
    for (int c; (c = reader.next()) != OptionReader::kEnd;) {
        switch (c) {
            case OptionReader::kOperand:
                options.inputs.emplace_back(reader.value());
                break;
            case 'o':
                if (reader.value().empty()) {
                    usageError(kCommand, "the output folder name is empty");
                    return ParseResult::Usage;
                }
                options.outputDir = reader.value();
                break;
            case 'f':
                options.force = true;
                break;
            case kOptJson:
                options.json = true;
                break;
            case 'q':
                quiet = true;
                break;
            case 'v':
                verbose = true;
                break;
            case kOptFilesFrom:
                options.filesFrom = reader.value();
                break;
            case '0':
                options.nulSeparated = true;
                break;
            case kOptSkipExisting:
                options.skipExisting = true;
                break;
            case kOptText:
                options.plainText = true;
                break;
            case 'j': {
                long n = 0;
                if (!parseCount(reader.value(), kMostJobs, n)) {
                    usageError(kCommand, "invalid number of jobs '" + reader.value() +
                                             "' (a whole number from 1 to " +
                                             std::to_string(kMostJobs) + ")");
                    return ParseResult::Usage;
                }
                options.jobs = static_cast<unsigned>(n);
                break;
            }
            case 'h':
                return ParseResult::Help;
            default:  // getopt_long has said what was wrong
                usageError(kCommand, "");
                return ParseResult::Usage;
        }
    }
    for (const std::string& operand : reader.operands())
        options.inputs.emplace_back(operand);
    if (quiet && verbose) {
        usageError(kCommand, "--quiet and --verbose cannot be used together");
        return ParseResult::Usage;
    }
    options.verbosity = quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal;
    if (options.nulSeparated && options.filesFrom.empty()) {
        usageError(kCommand, "--null needs --files-from");
        return ParseResult::Usage;
    }
    if (options.inputs.empty() && options.filesFrom.empty()) {
        usageError(kCommand, "recover needs at least one document (PATH... or --files-from FILE)");
        return ParseResult::Usage;
    }
    return ParseResult::Run;
}

bool readFileList(const std::filesystem::path& list, bool nulSeparated,
                  std::vector<std::filesystem::path>& out, std::string& error) {
    const bool standardInput = list == "-";
    FILE* f = standardInput ? stdin : std::fopen(list.c_str(), "rb");
    if (!f) {
        error = "cannot read the list " + list.string() + ": " + std::strerror(errno);
        return false;
    }
    const int separator = nulSeparated ? '\0' : '\n';
    std::string entry;
    for (int c; (c = std::getc(f)) != EOF;) {
        if (c != separator) {
            entry += static_cast<char>(c);
            continue;
        }
        if (!entry.empty())
            out.emplace_back(entry);
        entry.clear();
    }
    if (!entry.empty())
        out.emplace_back(entry);
    const bool failed = std::ferror(f) != 0;
    if (failed)
        error = "cannot read the list " + list.string();
    if (!standardInput)
        std::fclose(f);
    return !failed;
}

}  // namespace morvel::cli
