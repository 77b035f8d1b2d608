#include "net/ContentRange.h"

std::int64_t contentRangeStart(const std::u16string& value) {
    const std::u16string prefix = u"bytes ";
    std::size_t i = value.find_first_not_of(u' ');
    if (i == std::u16string::npos || value.compare(i, prefix.size(), prefix) != 0) return -1;
    i += prefix.size();
    while (i < value.size() && value[i] == u' ') ++i;
    std::int64_t start = 0;
    std::size_t digits = 0;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i, ++digits) {
        if (start > (INT64_MAX - 9) / 10) return -1;
        start = start * 10 + (value[i] - u'0');
    }
    if (digits == 0 || i >= value.size() || value[i] != u'-') return -1;
    return start;
}
