// Splits a Windows command line into its program and the argument text behind it, as
// CreateProcessW reads the first token: up to the closing quote when it starts with one,
// otherwise up to the first blank or tab.
#pragma once

#include <string>

namespace platform {

struct ProgramAndArguments {
    std::u16string program;    // without the quotes
    std::u16string arguments;  // without the blanks that separated it from the program
};

inline ProgramAndArguments splitProgram(const std::u16string& commandLine) {
    std::size_t at = 0;
    while (at < commandLine.size() && (commandLine[at] == u' ' || commandLine[at] == u'\t')) ++at;
    ProgramAndArguments split;
    std::size_t end;
    if (at < commandLine.size() && commandLine[at] == u'"') {
        const std::size_t close = commandLine.find(u'"', at + 1);
        end = close == std::u16string::npos ? commandLine.size() : close;
        split.program = commandLine.substr(at + 1, end - at - 1);
        if (end < commandLine.size()) ++end;
    } else {
        end = commandLine.find_first_of(u" \t", at);
        if (end == std::u16string::npos) end = commandLine.size();
        split.program = commandLine.substr(at, end - at);
    }
    while (end < commandLine.size() && (commandLine[end] == u' ' || commandLine[end] == u'\t'))
        ++end;
    split.arguments = commandLine.substr(end);
    return split;
}

}  // namespace platform
