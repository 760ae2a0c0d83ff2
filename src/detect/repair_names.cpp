#include "detect/repair_names.h"

#include <string.h>

namespace {

const char RepairSuffix[] = ".dis";
const char FallbackSuffix[] = ".0";

// The extension's dot of the last path component, or NULL: a dot in a
// directory name must not send the renamed file into another directory.
const char *ExtensionDot(const char *path)
{
    const char *dot = strrchr(path, '.');
    if (!dot)
        return NULL;
    for (const char *p = dot + 1; *p; ++p) {
        if (*p == '\\' || *p == '/')
            return NULL;
    }
    return dot;
}

int Fail(char *name, size_t size)
{
    if (size > 0)
        name[0] = '\0';
    return 0;
}

}  // namespace

int MakeRepairFileName(const char *path, char *name, size_t size)
{
    size_t length = strlen(path);
    if (length + sizeof RepairSuffix > size)
        return Fail(name, size);
    memcpy(name, path, length);
    memcpy(name + length, RepairSuffix, sizeof RepairSuffix);
    return 1;
}

int MakeFallbackFileName(const char *path, char *name, size_t size)
{
    size_t length = strlen(path);
    const char *dot = ExtensionDot(path);
    if (dot && dot[1] != '\0') {
        if (dot[1] == '0' || length + 1 > size)
            return Fail(name, size);
        memcpy(name, path, length + 1);
        name[dot + 1 - path] = '0';
        return 1;
    }
    if (length + sizeof FallbackSuffix > size)
        return Fail(name, size);
    memcpy(name, path, length);
    memcpy(name + length, FallbackSuffix, sizeof FallbackSuffix);
    return 1;
}
