#ifndef KWRNDL_TESTS_REPLACE_TEST_SUPPORT_H
#define KWRNDL_TESTS_REPLACE_TEST_SUPPORT_H

#include <windows.h>

#include <stdint.h>

#include "test_support.h"

#include <string>
#include <vector>

// Helpers of the file-replacement tests: the system's pending restart
// operations, expected trace text. Files in use by another process are
// HeldFile's (test_support.h).

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Text with "{s}" and "{d}" replaced by the two paths.
std::string Expand(const std::string &text, const std::string &src, const std::string &dest);

// The strings of PendingFileRenameOperations, in order ("\??\C:\x", then ""
// for a deletion or "!\??\C:\y" for a move that replaces).
std::vector<std::string> PendingFileRenameOperations();
void ClearPendingFileRenameOperations();

// The trace lines that AddFileToAutomaticRenameList writes, each with its tag.
std::string RebootLines(const std::vector<const char *> &texts);

// The maker's common directory value, HKLM\Software\Vantorel\Common\Paths
// "Common", written as given; Delete removes the key and its empty parents.
bool SetCommonPathValue(DWORD type, const void *data, DWORD size);
bool SetCommonPath(const std::string &directory);
void DeleteCommonPathKey();

// A rename list as the guard reads it: header fields and the body with
// the scrambling undone.
struct DecodedRenameList {
    bool read;
    size_t fileSize;
    uint32_t tickCount;
    uint32_t oemId;
    uint32_t crc;
    uint32_t processorType;
    std::string body;
};
DecodedRenameList DecodeRenameList(const std::string &path);

// The body of a list of the given pairs (existing, new, existing, ...).
std::string RenameListBody(const std::vector<std::string> &names);

#endif
