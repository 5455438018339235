#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/help_text.h"
#include "cli/option_reader.h"

namespace {

using namespace morvel::cli;

constexpr const char* kProgram = "morvel";

enum GlobalOption : int { kOptVersion = 256 };

const option kGlobalOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kOptVersion},
    {nullptr, 0, nullptr, 0},
};

// `morvel help [COMMAND]`.
int runHelp(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(generalHelp(), stdout);
        return kExitAllFull;
    }
    const char* text = commandHelp(args.front());
    if (!text || args.size() > 1)
        return usageError(kProgram, args.size() > 1 ? "help takes one command"
                                                    : "unknown command '" + args.front() + "'");
    std::fputs(text, stdout);
    return kExitAllFull;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(generalHelp(), stderr);
        return kExitUsage;
    }
    // Options before the command; the first operand is the command and ends them.
    std::vector<std::string> global;
    size_t at = 0;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-' && args[at] != "--")
        global.push_back(args[at++]);
    if (!global.empty()) {
        OptionReader reader(kProgram, global, "h", kGlobalOptions);
        for (int c; (c = reader.next()) != OptionReader::kEnd;) {
            if (c == 'h') {
                std::fputs(generalHelp(), stdout);
                return kExitAllFull;
            }
            if (c == kOptVersion) {
                std::fputs(versionText().c_str(), stdout);
                return kExitAllFull;
            }
            return usageError(kProgram, "");
        }
    }
    if (at < args.size() && args[at] == "--")
        ++at;
    if (at >= args.size())
        return usageError(kProgram, "no command given");
    const std::string& command = args[at];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(at) + 1, args.end());
    if (command == "help")
        return runHelp(rest);
    if (command == "recover")
        return runRecover(rest);
    if (command == "inspect")
        return runInspect(rest);
    if (command == "scan")
        return runScan(rest);
    return usageError(kProgram, "unknown command '" + command + "'");
}
