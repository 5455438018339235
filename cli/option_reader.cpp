#include "cli/option_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"

namespace morvel::cli {

OptionReader::OptionReader(std::string command, const std::vector<std::string>& args,
                           const char* shortOptions, const option* longOptions)
    : command_(std::move(command)), longOptions_(longOptions) {
    storage_.push_back(command_);
    storage_.insert(storage_.end(), args.begin(), args.end());
    for (std::string& s : storage_)
        argv_.push_back(s.data());
    argv_.push_back(nullptr);
    // "-": operands are returned in place, so their order is kept whatever POSIXLY_CORRECT
    // says; the error messages stay on (no leading ':').
    shortOptions_ = std::string("-") + shortOptions;
    optind = 0;  // glibc: start afresh, as if no command had been read before
    opterr = 1;
}

int OptionReader::next() {
    const int argc = static_cast<int>(argv_.size()) - 1;
    const int c = getopt_long(argc, argv_.data(), shortOptions_.c_str(), longOptions_, nullptr);
    value_ = optarg ? optarg : "";
    if (c == -1)
        for (int i = optind; i < argc; ++i)
            afterEnd_.emplace_back(argv_[static_cast<size_t>(i)]);
    return c;
}

int usageError(const std::string& command, const std::string& message) {
    if (!message.empty())
        std::fprintf(stderr, "%s: %s\n", command.c_str(), message.c_str());
    std::fprintf(stderr, "Try '%s --help' for more information.\n", command.c_str());
    return kExitUsage;
}

bool parseCount(const std::string& text, long most, long& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || n < 1 || n > most)
        return false;
    out = n;
    return true;
}

}  // namespace morvel::cli
