// Argument texts and the words a Windows C runtime reads from them: the documented examples
// and the corners of the backslash and quote rules.
#pragma once

#include <string>
#include <vector>

#include "common/Text.h"

namespace commandline_cases {

struct Case {
    std::u16string text;
    std::vector<std::u16string> words;
};

inline const std::vector<Case> kArguments = {
    {u"\"a b c\" d e", {u"a b c", u"d", u"e"}},
    {u"\"ab\\\"c\" \"\\\\\" d", {u"ab\"c", u"\\", u"d"}},
    {u"a\\\\\\b d\"e f\"g h", {u"a\\\\\\b", u"de fg", u"h"}},
    {u"a\\\\\\\"b c d", {u"a\\\"b", u"c", u"d"}},
    {u"a\\\\\\\\\"b c\" d e", {u"a\\\\b c", u"d", u"e"}},
    {u"/ppass=\"my pass\" /SILENT", {u"/ppass=my pass", u"/SILENT"}},
    {u"  \t/a\t\"\"  /b\\", {u"/a", u"", u"/b\\"}},
    {u"\"unterminated x", {u"unterminated x"}},
};

}  // namespace commandline_cases
