// Windows command lines, both halves of one set of rules: quoting values so that a program's C
// runtime (and CommandLineToArgvW) reads them back unchanged, and splitting a command line the
// way that runtime does, so both targets hand a program the same arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace commandline {

// The value unchanged when it is not empty and holds no blank, tab or double quote (installers
// rely on that plain form); otherwise quoteAlways(value).
std::u16string quote(std::u16string_view value);
// The value in double quotes: a double quote inside becomes \" and the backslashes right before
// a double quote (or before the closing one) are doubled.
std::u16string quoteAlways(std::u16string_view value);

// The arguments of a command line that follow the program's name (argv[1] onwards): blanks and
// tabs separate them; quotes group; 2n backslashes before a quote give n and the quote groups,
// 2n+1 give n and a literal quote; other backslashes are literal; "" inside quotes is a literal
// quote that also ends the quoted part.
std::vector<std::u16string> splitArguments(std::u16string_view text);

// The program as CreateProcess reads a command line's first word (quotes only group,
// backslashes are literal; leading blanks skipped) and the argument text behind it, unchanged
// but for the blanks that separated the two: what the shell's start of a program takes apart.
struct ProgramAndArguments {
    std::u16string program;
    std::u16string arguments;
};
ProgramAndArguments splitProgram(std::u16string_view commandLine);

// A whole command line: the program first (argv[0]: quotes only group, backslashes are literal),
// then its arguments as splitArguments reads them. Leading blanks are skipped; an empty or blank
// line gives no words.
std::vector<std::u16string> split(std::u16string_view commandLine);

}  // namespace commandline
