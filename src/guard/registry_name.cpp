#include "guard/registry_name.h"

#include <cstring>

namespace {

struct RootEntry {
    const char *name;
    int root;
};

const RootEntry Roots[] = {
    {"HKEY_CLASSES_ROOT", RegistryRootClassesRoot},
    {"HKEY_CURRENT_USER", RegistryRootCurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRootLocalMachine},
    {"HKEY_USERS", RegistryRootUsers},
};

// Only the ASCII letters fold, whatever the code page.
char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

int EqualsIgnoringAsciiCase(const char *a, const char *b)
{
    for (; AsciiUpper(*a) == AsciiUpper(*b); ++a, ++b) {
        if (*a == '\0')
            return 1;
    }
    return 0;
}

int LookUpRoot(const char *name)
{
    for (const RootEntry &entry : Roots) {
        if (EqualsIgnoringAsciiCase(name, entry.name))
            return entry.root;
    }
    return 0;
}

}  // namespace

int ParseRegistryName(char *text, RegistryName *name)
{
    char *separator = strchr(text, '\\');
    if (separator == NULL)
        return 0;
    *separator = '\0';

    char *rest = separator + 1;
    const char *subkey = NULL;
    char *value = NULL;
    if (*rest == '\\') {
        value = rest + 1;
    } else {
        char *pair = strstr(rest, "\\\\");
        if (pair == NULL)
            return 0;
        *pair = '\0';
        subkey = rest;
        value = pair + 2;
    }

    size_t length = strlen(value);
    while (length > 0 && value[length - 1] == ' ')
        value[--length] = '\0';

    int root = LookUpRoot(text);
    if (root == 0)
        return 0;
    name->root = root;
    name->subkey = subkey;
    name->value = value;
    return 1;
}
