#include "guard/guard_messages.h"
#include "guard/registry_name.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace {

struct NameCase {
    const char *text;
    int parsed;
    int root;
    const char *subkey;  // NULL: a value of the root key
    const char *value;
};

const NameCase NameCases[] = {
    {"HKEY_LOCAL_MACHINE\\Software\\Vantorel\\Kestrune\\Brisquall\\\\DeviceName", 1,
     RegistryRootLocalMachine, "Software\\Vantorel\\Kestrune\\Brisquall", "DeviceName"},
    {"hkey_local_machine\\Software\\\\DeviceName", 1, RegistryRootLocalMachine, "Software",
     "DeviceName"},
    {"HKEY_Classes_Root\\.txt\\\\", 1, RegistryRootClassesRoot, ".txt", ""},
    {"HKEY_CURRENT_USER\\a\\b\\\\v", 1, RegistryRootCurrentUser, "a\\b", "v"},
    {"hKeY_uSeRs\\.DEFAULT\\\\v", 1, RegistryRootUsers, ".DEFAULT", "v"},
    // Two backslashes right after the root: a value of the root key.
    {"HKEY_LOCAL_MACHINE\\\\Value", 1, RegistryRootLocalMachine, NULL, "Value"},
    {"HKEY_LOCAL_MACHINE\\\\\\Value", 1, RegistryRootLocalMachine, NULL, "\\Value"},
    // The first pair ends the key path, whatever follows.
    {"HKEY_LOCAL_MACHINE\\Sub\\\\\\Name", 1, RegistryRootLocalMachine, "Sub", "\\Name"},
    {"HKEY_LOCAL_MACHINE\\Sub\\\\a\\\\b", 1, RegistryRootLocalMachine, "Sub", "a\\\\b"},
    // Only trailing spaces go.
    {"HKEY_LOCAL_MACHINE\\Sub\\\\Name   ", 1, RegistryRootLocalMachine, "Sub", "Name"},
    {"HKEY_LOCAL_MACHINE\\Sub\\\\ Na me \t", 1, RegistryRootLocalMachine, "Sub", " Na me \t"},
    {"HKEY_LOCAL_MACHINE\\Sub\\\\   ", 1, RegistryRootLocalMachine, "Sub", ""},
    {"HKEY_LOCAL_MACHINE\\Sub \\\\Name", 1, RegistryRootLocalMachine, "Sub ", "Name"},
    // Malformed: no backslash, no pair, a root outside the four.
    {"", 0, 0, NULL, NULL},
    {"HKEY_LOCAL_MACHINE", 0, 0, NULL, NULL},
    {"HKEY_LOCAL_MACHINE\\Software\\Name", 0, 0, NULL, NULL},
    {"HKEY_LOCAL_MACHINE\\Software\\Name\\", 0, 0, NULL, NULL},
    {"HKLM\\Software\\\\Name", 0, 0, NULL, NULL},
    {"HKEY_LOCAL_MACHINEX\\Software\\\\Name", 0, 0, NULL, NULL},
    {"HKEY_LOCAL_MACHIN\\Software\\\\Name", 0, 0, NULL, NULL},
    {" HKEY_LOCAL_MACHINE\\Software\\\\Name", 0, 0, NULL, NULL},
    {"\\\\Name", 0, 0, NULL, NULL},
    {"HKEY_CURRENT_CONFIG\\Software\\\\Name", 0, 0, NULL, NULL},
};

TEST(RegistryName, PartsFollowTheSeparators)
{
    for (const NameCase &c : NameCases) {
        std::vector<char> text(c.text, c.text + strlen(c.text) + 1);
        RegistryName name = {-1, "untouched", "untouched"};
        int parsed = ParseRegistryName(&text[0], &name);
        EXPECT_EQ(c.parsed, parsed) << c.text;
        if (!parsed || !c.parsed)
            continue;
        EXPECT_EQ(c.root, name.root) << c.text;
        if (c.subkey == NULL)
            EXPECT_EQ(NULL, name.subkey) << c.text;
        else
            EXPECT_STREQ(c.subkey, name.subkey) << c.text;
        EXPECT_STREQ(c.value, name.value) << c.text;
    }
}

TEST(GuardSettingChange, ValueLiesJustPastTheCountedInput)
{
    const struct {
        int state;
        unsigned char value;
    } cases[] = {{0, 0}, {1, 1}, {7, 1}, {-1, 1}};
    const std::string identifier = "1.3.6.1.4.1.7446.12.1.111.2.10";
    for (const auto &c : cases) {
        unsigned char buffer[GuardSettingBufferSize + 8];
        memset(buffer, 0xEE, sizeof buffer);
        unsigned long length = BuildGuardSettingChange(buffer, c.state);

        EXPECT_EQ(31u, length) << c.state;
        EXPECT_EQ(identifier, std::string((const char *)buffer, 30)) << c.state;
        // From the identifier's NUL on: zeros but the value at bytes 31-34,
        // 32-bit little-endian.
        std::vector<unsigned char> expected(GuardSettingBufferSize - 30, 0);
        expected[1] = c.value;
        std::vector<unsigned char> tail(buffer + 30, buffer + GuardSettingBufferSize);
        EXPECT_EQ(expected, tail) << c.state;
        // Nothing past the 256 bytes is written.
        for (size_t i = GuardSettingBufferSize; i < sizeof buffer; ++i)
            EXPECT_EQ(0xEE, buffer[i]) << c.state << " byte " << i;
    }
}

}  // namespace
