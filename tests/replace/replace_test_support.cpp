#include "replace_test_support.h"

#include "replace/rename_list_format.h"
#include "test_support.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char CommonPathsKey[] = "Software\\Vantorel\\Common\\Paths";
const char SessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char PendingValue[] = "PendingFileRenameOperations";

}  // namespace

std::string Format(const char *format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Expand(const std::string &text, const std::string &src, const std::string &dest)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "{s}") == 0) {
            out += src;
            i += 2;
        } else if (text.compare(i, 3, "{d}") == 0) {
            out += dest;
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> PendingFileRenameOperations()
{
    std::vector<std::string> operations;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return operations;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, PendingValue, NULL, &type, NULL, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ && size > 0) {
        std::vector<char> data(size + 2, '\0');
        if (RegQueryValueExA(key, PendingValue, NULL, &type, (BYTE *)&data[0], &size) ==
            ERROR_SUCCESS) {
            // Pairs: a deletion's second string is empty, so the list is
            // read by count of bytes, not up to the first empty string.
            size_t end = size;
            while (end > 0 && data[end - 1] == '\0')
                --end;
            size_t i = 0;
            while (i < end) {
                std::string item(&data[i]);
                operations.push_back(item);
                i += item.size() + 1;
            }
            if (operations.size() % 2)
                operations.push_back("");
        }
    }
    RegCloseKey(key);
    return operations;
}

void ClearPendingFileRenameOperations()
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, PendingValue);
    RegCloseKey(key);
}

std::string RebootLines(const std::vector<const char *> &texts)
{
    std::string lines;
    for (const char *text : texts)
        lines += std::string("[KRSC - AddFileToAutomaticRenameList]: ") + text;
    return lines;
}

bool SetCommonPathValue(DWORD type, const void *data, DWORD size)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, CommonPathsKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                        &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(key, "Common", 0, type, (const BYTE *)data, size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetCommonPath(const std::string &directory)
{
    return SetCommonPathValue(REG_SZ, directory.c_str(), (DWORD)directory.size() + 1);
}

void DeleteCommonPathKey()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CommonPathsKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vantorel\\Common");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vantorel");
}

namespace {

uint32_t Field(const std::vector<uint8_t> &data, size_t offset)
{
    return (uint32_t)data[offset] | (uint32_t)data[offset + 1] << 8 |
           (uint32_t)data[offset + 2] << 16 | (uint32_t)data[offset + 3] << 24;
}

}  // namespace

DecodedRenameList DecodeRenameList(const std::string &path)
{
    DecodedRenameList list = {false, 0, 0, 0, 0, 0, ""};
    if (!PathExists(path))
        return list;
    std::vector<uint8_t> data = ReadFileBytes(path);
    list.fileSize = data.size();
    if (data.size() < 16)
        return list;
    list.read = true;
    list.tickCount = Field(data, 0);
    list.oemId = Field(data, 4);
    list.crc = Field(data, 8);
    list.processorType = Field(data, 12);
    for (size_t i = 16; i < data.size(); ++i) {
        size_t n = i - 16;
        list.body += (char)(data[i] ^ RenameListKeyA[n % 16] ^ RenameListKeyB[n % 17]);
    }
    return list;
}

std::string RenameListBody(const std::vector<std::string> &names)
{
    std::string body;
    for (const std::string &name : names)
        body += name + '\0';
    return body + '\0';
}
