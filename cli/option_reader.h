#pragma once

#include <getopt.h>

#include <string>
#include <vector>

namespace morvel::cli {

// Reads one command's options with getopt_long, in GNU style: long options with "=VALUE" or a
// separate value, bundled short options (-fo DIR, -oDIR), "--" ends the options. Operands come
// back in the order given, between the options. getopt_long prints its own messages
// ("morvel recover: unrecognized option '--x'"), naming the command.
class OptionReader {
  public:
    // `command` is how messages name the program ("morvel recover"); `shortOptions` and
    // `longOptions` are getopt_long's (the latter ends with a zero entry).
    OptionReader(std::string command, const std::vector<std::string>& args,
                 const char* shortOptions, const option* longOptions);

    // Code of the next option, kOperand for an operand (its text in value()), '?' after a wrong
    // option (the message is printed), or kEnd. After kEnd, operands() holds those after "--".
    int next();
    const std::string& value() const { return value_; }
    const std::vector<std::string>& operands() const { return afterEnd_; }

    static constexpr int kOperand = 1;
    static constexpr int kEnd = -1;

  private:
    std::string command_;
    std::vector<std::string> storage_;
    std::vector<char*> argv_;
    std::string shortOptions_;
    const option* longOptions_;
    std::string value_;
    std::vector<std::string> afterEnd_;
};

// Prints "morvel CMD: MESSAGE" (when a message is given) and the hint to the command's help,
// and returns the usage exit code.
int usageError(const std::string& command, const std::string& message);

// Reads a count such as "-j 4": a whole number from 1 to `most`, or false.
bool parseCount(const std::string& text, long most, long& out);

}  // namespace morvel::cli
