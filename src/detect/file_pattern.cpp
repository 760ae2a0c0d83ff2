#include "detect/file_pattern.h"

#include <ctype.h>
#include <string.h>

namespace {

const char CandidateExtensions[] = "EXE DLL EX DL E?";

// The position from which the next pattern of the list is tried: the
// separator at or after `from`, or NULL at the end of the list.
const char *NextPattern(const char *from)
{
    return strchr(from, ' ');
}

}  // namespace

int MatchWildcardList(const char *name, const char *list)
{
    const char *pattern = list;
    size_t i = 0;  // pattern characters matched, and the position in the name
    while (pattern[i] != '\0') {
        char c = pattern[i];
        if (c == ' ') {
            if (i == 0) {
                ++pattern;
                continue;
            }
            if (name[i] == '\0')
                return 1;
            pattern += i;
            i = 0;
            continue;
        }
        if (c == '*')
            return 1;
        if (name[i] == '\0') {
            // Trailing "?" may stay unmatched.
            const char *rest = pattern + i;
            while (*rest == '?')
                ++rest;
            if (*rest == '\0' || *rest == '*' || *rest == ' ')
                return 1;
            pattern = NextPattern(rest);
            if (!pattern)
                return 0;
            i = 0;
            continue;
        }
        if (c == '?' || toupper((unsigned char)c) == toupper((unsigned char)name[i])) {
            ++i;
            continue;
        }
        pattern = NextPattern(pattern + i);
        if (!pattern)
            return 0;
        i = 0;
    }
    return name[i] == '\0' && i > 0;
}

int IsCandidateFile(const char *path)
{
    const char *dot = strrchr(path, '.');
    if (!dot)
        return 0;
    return MatchWildcardList(dot + 1, CandidateExtensions);
}
