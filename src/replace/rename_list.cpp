#include "replace/rename_list.h"

#include "detect/crc32.h"
#include "replace/rename_list_format.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

const char CommonPathsKey[] = "Software\\Vantorel\\Common\\Paths";
const char CommonPathValue[] = "Common";
const char RenameListName[] = "KRBQ.REN";

}  // namespace

int ReadCommonPath(char *buffer, uint32_t size)
{
    if (size > 0)
        buffer[0] = '\0';
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CommonPathsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return -1;
    DWORD type = 0;
    DWORD length = size;
    LONG queried = RegQueryValueExA(key, CommonPathValue, NULL, &type, (BYTE *)buffer, &length);
    RegCloseKey(key);

    int result = 0;
    if (queried == ERROR_MORE_DATA) {
        result = -2;
    } else if (queried != ERROR_SUCCESS || type != REG_SZ) {
        result = -1;
    } else if (length == 0 || buffer[length - 1] != '\0') {
        // A string stored without its NUL: terminate it where there is room.
        if (length >= size)
            result = -2;
        else
            buffer[length] = '\0';
    }
    if (result != 0 && size > 0)
        buffer[0] = '\0';
    return result;
}

FILE *OpenRenameList(int *status)
{
    *status = RenameListOk;
    char directory[MAX_PATH];
    if (ReadCommonPath(directory, sizeof directory) != 0) {
        *status = RenameListNoCommonPath;
        return NULL;
    }

    const char *lastSlash = strrchr(directory, '\\');
    const char *separator = (lastSlash && lastSlash[1] == '\0') ? "" : "\\";
    char path[MAX_PATH];
    // A directory too long for the file name cannot hold the list.
    if (strlen(directory) + strlen(separator) + sizeof RenameListName > sizeof path) {
        *status = RenameListCannotOpen;
        return NULL;
    }
    strcpy(path, directory);
    strcat(path, separator);
    strcat(path, RenameListName);

    FILE *list = fopen(path, "w+b");
    if (!list) {
        *status = RenameListCannotOpen;
        return NULL;
    }

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    uint8_t header[RenameListHeaderSize];
    PutLittleEndian32(header + RenameListTickOffset, GetTickCount());
    PutLittleEndian32(header + RenameListOemIdOffset, system.dwOemId);
    PutLittleEndian32(header + RenameListCrcOffset, 0);
    PutLittleEndian32(header + RenameListProcessorOffset, system.dwProcessorType & 0xFFFFu);
    if (fwrite(header, 1, sizeof header, list) != sizeof header) {
        fclose(list);
        *status = RenameListIoError;
        return NULL;
    }
    return list;
}

int AddRenamePair(FILE *list, const char *existingName, const char *newName, int *status)
{
    *status = RenameListOk;
    // An empty name would end the list early for the guard.
    if (!list || !existingName || !newName || !*existingName || !*newName) {
        *status = RenameListIoError;
        return 0;
    }
    size_t existingSize = strlen(existingName) + 1;
    size_t newSize = strlen(newName) + 1;
    int written = fwrite(existingName, 1, existingSize, list) == existingSize;
    written = (fwrite(newName, 1, newSize, list) == newSize) && written;
    if (!written) {
        *status = RenameListIoError;
        return 0;
    }
    return 1;
}

int CloseRenameList(FILE *list, int *status)
{
    *status = RenameListOk;
    if (!list) {
        *status = RenameListIoError;
        return 0;
    }

    uint8_t *body = NULL;
    uint32_t bodySize = 0;
    if (fputc(0, list) == EOF)
        *status = RenameListIoError;
    if (*status == RenameListOk) {
        long size = -1;
        if (fflush(list) != 0 || fseek(list, 0, SEEK_END) != 0 ||
            (size = ftell(list)) <= (long)RenameListHeaderSize ||
            fseek(list, RenameListHeaderSize, SEEK_SET) != 0)
            *status = RenameListIoError;
        else
            bodySize = (uint32_t)(size - RenameListHeaderSize);
    }
    if (*status == RenameListOk) {
        body = (uint8_t *)malloc(bodySize);
        if (!body)
            *status = RenameListNoMemory;
    }
    if (*status == RenameListOk && fread(body, 1, bodySize, list) != bodySize)
        *status = RenameListIoError;

    uint32_t crc = 0;
    if (*status == RenameListOk) {
        crc = Crc32(body, bodySize);
        ScrambleRenameBody(body, bodySize);
        if (fseek(list, RenameListHeaderSize, SEEK_SET) != 0 ||
            fwrite(body, 1, bodySize, list) != bodySize)
            *status = RenameListIoError;
    }
    free(body);

    if (*status == RenameListOk) {
        uint8_t field[4];
        PutLittleEndian32(field, crc);
        if (fseek(list, RenameListCrcOffset, SEEK_SET) != 0 ||
            fwrite(field, 1, sizeof field, list) != sizeof field)
            *status = RenameListIoError;
    }

    // Flushed before the close: some run-time libraries' fclose drops the
    // error of its own final flush.
    if (fflush(list) != 0 && *status == RenameListOk)
        *status = RenameListIoError;
    if (fclose(list) != 0 && *status == RenameListOk)
        *status = RenameListCloseFailed;
    return *status == RenameListOk;
}
