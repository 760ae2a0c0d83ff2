#include "replace/replace_file.h"

#include "replace/reboot_rename.h"
#include "run/counters.h"
#include "trace/trace.h"

#include <cstdio>
#include <cstring>

namespace {

// A joined path: a full path of up to 259 characters and some slack.
const size_t JoinedPathSize = 264;

#define REPLACE_TAG "[KRSC - ReplaceFile]: "

// Codes that say the file is there but may not be removed now: such a file
// is scheduled for the next restart instead.
int IsAccessDeniedClass(DWORD error)
{
    switch (error) {
    case 5:    // ERROR_ACCESS_DENIED
    case 16:   // ERROR_CURRENT_DIRECTORY
    case 65:   // ERROR_NETWORK_ACCESS_DENIED
    case 82:   // ERROR_CANNOT_MAKE
    case 83:   // ERROR_FAIL_I24
    case 108:  // ERROR_DRIVE_LOCKED
    case 132:  // ERROR_SEEK_ON_DEVICE
    case 158:  // ERROR_NOT_LOCKED
    case 167:  // ERROR_LOCK_FAILED
        return 1;
    default:
        // ERROR_WRITE_PROTECT .. ERROR_FCB_UNAVAILABLE, with the sharing and
        // lock violations among them.
        return error >= 19 && error <= 36;
    }
}

int JoinPath(char *path, const char *directory, const char *name)
{
    size_t directoryLength = strlen(directory);
    size_t nameLength = strlen(name);
    if (directoryLength + nameLength >= JoinedPathSize)
        return 0;
    memcpy(path, directory, directoryLength);
    memcpy(path + directoryLength, name, nameLength + 1);
    return 1;
}

int DeleteOperation(const char *path)
{
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, REPLACE_TAG "Delete operation (%s).\n",
                 path);
    if (!FileExist(path)) {
        TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                     REPLACE_TAG "Src file does not exist (%s).\n", path);
        return ResultNotFound;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, REPLACE_TAG "Src file exists (%s).\n",
                 path);

    if (DeleteFileA(path)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     REPLACE_TAG "File was deleted (%s).\n", path);
        return ResultDone;
    }
    DWORD error = GetLastError();
    TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                 REPLACE_TAG "Failed to delete the file (%s).\n", path);
    if (!IsAccessDeniedClass(error)) {
        TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                     REPLACE_TAG "File not found or it is a directory (%s).\n", path);
        return ResultNotFound;
    }
    if (AddFileToAutomaticRenameList(path, NULL)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     REPLACE_TAG "File will be deleted during reboot (%s).\n", path);
        return ResultAtRestart;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                 REPLACE_TAG "File cannot be deleted during reboot (%s).\n", path);
    return ResultFailed;
}

int RenameOperation(const char *src, const char *dest)
{
    TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                 REPLACE_TAG "Rename operation (%s -> %s).\n", src, dest);
    int failed = 0;
    int destAtRestart = 0;
    int destExisted = 0;

    if (!FileExist(src)) {
        TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                     REPLACE_TAG "Src file does not exist (%s).\n", src);
        return ResultNotFound;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, REPLACE_TAG "Src file exists (%s).\n",
                 src);

    if (FileExist(dest)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     REPLACE_TAG "Dest file exists (%s).\n", dest);
        destExisted = 1;
        if (DeleteFileA(dest)) {
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         REPLACE_TAG "Dest file deleted (%s).\n", dest);
        } else {
            DWORD error = GetLastError();
            TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                         REPLACE_TAG "Failed to delete the file (%s).\n", dest);
            if (!IsAccessDeniedClass(error)) {
                TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                             REPLACE_TAG "Dest file is a directory (%s).\n", dest);
                failed = 1;
            } else if (AddFileToAutomaticRenameList(dest, NULL)) {
                TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                             REPLACE_TAG "File will be deleted during reboot (%s).\n", dest);
                destAtRestart = 1;
            } else {
                TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                             REPLACE_TAG "File cannot be deleted during reboot (%s).\n", dest);
                failed = 1;
            }
        }
    }
    if (failed)
        return ResultFailed;

    // The destination is still there until the restart: the rename has to
    // wait for it.
    if (destAtRestart) {
        if (AddFileToAutomaticRenameList(src, dest)) {
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         REPLACE_TAG "Src file will be deleted during reboot (%s).\n", src);
            return ResultAtRestart;
        }
        TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                     REPLACE_TAG "Src file cannot be deleted during reboot (%s).\n", src);
        return ResultFailedDestGone;
    }

    if (MoveFileA(src, dest)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     REPLACE_TAG "Src file was successfully renamed (%s -> %s).\n", src, dest);
        return ResultDone;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                 REPLACE_TAG "Failed to rename the source file (%s).\n", src);
    if (AddFileToAutomaticRenameList(src, dest)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     REPLACE_TAG "Src file will be renamed during reboot(%s -> %s).\n", src, dest);
        return ResultAtRestart;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                 REPLACE_TAG "Src file cannot be renamed during reboot(%s -> %s).\n", src, dest);
    return destExisted ? ResultFailedDestGone : ResultFailed;
}

}  // namespace

int FileExist(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "[KRSC - FileExist]: File %s does not exist.\n", path);
        return 0;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "[KRSC - FileExist]: File %s exists.\n",
                 path);
    CloseHandle(file);
    return 1;
}

int ReplaceFile(const char *directory, const char *name, const char *newName)
{
    char src[JoinedPathSize];
    char dest[JoinedPathSize];
    // Longer than any path the ANSI calls take: nothing is touched.
    if (!JoinPath(src, directory, name)) {
        TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                     REPLACE_TAG "Path too long (%s%s).\n", directory, name);
        return ResultNotFound;
    }
    if (!newName)
        return DeleteOperation(src);
    if (!JoinPath(dest, directory, newName)) {
        TraceMessage(TraceModuleName, -1, TraceLevelFailure,
                     REPLACE_TAG "Path too long (%s%s).\n", directory, newName);
        return ResultFailed;
    }
    return RenameOperation(src, dest);
}

void ReportReplaceResult(int result, const char *done, const char *atRestart, const char *failed)
{
    switch (result) {
    case ResultDone:
        fputs(done, stdout);
        break;
    case ResultAtRestart:
        fputs(atRestart, stdout);
        IncrementCounter(&RebootCount);
        break;
    case ResultFailedDestGone:
    case ResultFailed:
        fputs(failed, stdout);
        IncrementCounter(&FailureCount);
        break;
    default:
        fputs("\n", stdout);
        break;
    }
}

void DeleteWithReport(const char *path)
{
    int result = ReplaceFile("", path, NULL);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Deleting file \"%s\", result=%d\n", path,
                 result);
    ReportReplaceResult(result, "Deleted\n", "Deleted, reboot needed\n", "Delete failed\n");
}

void ReplaceWithReport(const char *path, const char *newPath)
{
    int result = ReplaceFile("", path, newPath);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Replacing file \"%s\"->\"%s\", result=%d\n",
                 path, newPath, result);
    ReportReplaceResult(result, "File renamed\n", "File renamed, reboot needed\n",
                        "File rename failed\n");
}
