#include "common/WindowsCommandLine.h"

namespace commandline {
namespace {

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::size_t skipBlanks(std::u16string_view text, std::size_t at) {
    while (at < text.size() && isBlank(text[at])) ++at;
    return at;
}

}  // namespace

std::u16string quote(std::u16string_view value) {
    if (!value.empty() && value.find_first_of(u" \t\"") == std::u16string_view::npos) {
        return std::u16string(value);
    }
    return quoteAlways(value);
}

std::u16string quoteAlways(std::u16string_view value) {
    std::u16string quoted = u"\"";
    std::size_t backslashes = 0;
    for (const char16_t c : value) {
        if (c == u'\\') {
            ++backslashes;
        } else if (c == u'"') {
            quoted.append(backslashes + 1, u'\\');  // double the run, then escape the quote
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        quoted.push_back(c);
    }
    quoted.append(backslashes, u'\\');  // the closing quote must not be escaped
    quoted.push_back(u'"');
    return quoted;
}

std::vector<std::u16string> splitArguments(std::u16string_view text) {
    std::vector<std::u16string> words;
    std::size_t at = skipBlanks(text, 0);
    while (at < text.size()) {
        std::u16string word;
        bool quoted = false;
        while (at < text.size() && (quoted || !isBlank(text[at]))) {
            const char16_t c = text[at];
            if (c == u'\\') {
                std::size_t run = 0;
                while (at < text.size() && text[at] == u'\\') {
                    ++run;
                    ++at;
                }
                if (at < text.size() && text[at] == u'"') {
                    word.append(run / 2, u'\\');
                    if (run % 2 == 1) {
                        word.push_back(u'"');
                        ++at;
                    }
                    // An even run leaves the quote to group, below.
                } else {
                    word.append(run, u'\\');
                }
            } else if (c == u'"') {
                if (quoted && at + 1 < text.size() && text[at + 1] == u'"') {
                    word.push_back(u'"');
                    quoted = false;
                    at += 2;
                } else {
                    quoted = !quoted;
                    ++at;
                }
            } else {
                word.push_back(c);
                ++at;
            }
        }
        words.push_back(std::move(word));
        at = skipBlanks(text, at);
    }
    return words;
}

ProgramAndArguments splitProgram(std::u16string_view commandLine) {
    std::size_t at = skipBlanks(commandLine, 0);
    ProgramAndArguments parts;
    bool quoted = false;
    for (; at < commandLine.size() && (quoted || !isBlank(commandLine[at])); ++at) {
        if (commandLine[at] == u'"') {
            quoted = !quoted;
        } else {
            parts.program.push_back(commandLine[at]);
        }
    }
    parts.arguments = commandLine.substr(skipBlanks(commandLine, at));
    return parts;
}

std::vector<std::u16string> split(std::u16string_view commandLine) {
    if (skipBlanks(commandLine, 0) == commandLine.size()) return {};
    ProgramAndArguments parts = splitProgram(commandLine);
    std::vector<std::u16string> words{std::move(parts.program)};
    for (auto& argument : splitArguments(parts.arguments)) {
        words.push_back(std::move(argument));
    }
    return words;
}

}  // namespace commandline
