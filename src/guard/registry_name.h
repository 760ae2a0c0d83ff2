#ifndef KWRNDL_GUARD_REGISTRY_NAME_H
#define KWRNDL_GUARD_REGISTRY_NAME_H

// The one-text name of a registry value that ReadRegistryValue takes:
// "ROOT\sub\key\\value", where two backslashes end the key path and two
// right after the root name mean a value of the root key itself.

// Results of ReadRegistryValue.
enum {
    RegistryValueRead = 0,
    RegistryKeyNotOpened = 1,
    RegistryValueNotRead = 2,
    RegistryValueTooLong = 3,
    RegistryNameMalformed = 4,
    RegistryNoMemory = 100,
};

enum {
    RegistryRootClassesRoot = 1,
    RegistryRootCurrentUser = 2,
    RegistryRootLocalMachine = 3,
    RegistryRootUsers = 4,
};

struct RegistryName {
    int root;             // RegistryRoot*
    const char *subkey;   // NULL for a value of the root key itself
    const char *value;    // trailing spaces removed; "" is the default value
};

// Cuts text, a writable copy, in place into its parts; 1 when it is well
// formed (the pointers of name then point into text), else 0.
int ParseRegistryName(char *text, RegistryName *name);

#endif
