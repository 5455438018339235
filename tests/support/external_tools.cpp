#include "tests/support/external_tools.h"

#include <stdio.h>
#include <sys/wait.h>

namespace morvel::test {

int runCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        output.append(buf, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string pythonWith(const std::string& module) {
    std::string ignored;
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        std::string cmd =
            std::string(python) + " -c " + shellQuote("import " + module) + " >/dev/null 2>&1";
        if (runCommand(cmd, ignored) == 0)
            return python;
    }
    return {};
}

bool haveProgram(const std::string& program) {
    std::string ignored;
    return runCommand("command -v " + shellQuote(program) + " >/dev/null 2>&1", ignored) == 0;
}

}  // namespace morvel::test
