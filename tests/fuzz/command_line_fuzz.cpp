// Any UTF-16 text as the whole command line. The parse never fails to answer; what it answers
// holds together; and the split agrees with the quoting that Windows programs use to build a
// command line: any arguments, quoted that way, split back into themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/CommandLine.h"

namespace {
// Quotes one argument so that CommandLineToArgvW gives it back: backslashes before a quote, or
// before the closing quote, are doubled; a quote is escaped.
std::u16string Quote(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) return argument;
    std::u16string quoted = u"\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t slashes = 0;
        while (i < argument.size() && argument[i] == u'\\') ++i, ++slashes;
        if (i == argument.size()) {
            quoted.append(slashes * 2, u'\\');
            break;
        }
        if (argument[i] == u'"') {
            quoted.append(slashes * 2 + 1, u'\\');
        } else {
            quoted.append(slashes, u'\\');
        }
        quoted += argument[i];
    }
    return quoted + u"\"";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        line += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

    const SetupCommand command = ParseCommandLine(line);
    switch (command.mode) {
        case RunMode::Invalid:
            if (command.error.empty()) std::abort();
            break;
        case RunMode::Install:
        case RunMode::Usage:
        case RunMode::Uninstall:
            if (!command.error.empty()) std::abort();
            for (int year : command.releases)
                if (year < 2007 || year > 2025) std::abort();
            if (command.mode == RunMode::Uninstall && (!command.folder.empty() || !command.releases.empty()))
                std::abort();
            break;
        default:
            std::abort();
    }

    // The split's arguments start inside the line, in order.
    const std::vector<CommandArgument> arguments = SplitArguments(line);
    std::size_t last = 0;
    for (const CommandArgument& argument : arguments) {
        if (argument.start >= line.size() || argument.start < last) std::abort();
        last = argument.start + 1;
    }
    // Quoted back into a line behind a program name, they split into themselves.
    std::u16string rebuilt = u"\"C:\\pkg\\SetUp.exe\"";
    for (const CommandArgument& argument : arguments) rebuilt += u" " + Quote(argument.text);
    const std::vector<CommandArgument> again = SplitArguments(rebuilt);
    if (again.size() != arguments.size()) std::abort();
    for (std::size_t i = 0; i < again.size(); ++i)
        if (again[i].text != arguments[i].text) std::abort();
    return 0;
}
