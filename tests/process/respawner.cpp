// respawner.exe PROGRAM EVENT: a watchdog. Holds PROGRAM open (others may
// read it, nobody may delete it), keeps one copy of it running and starts a
// new copy whenever the last one ends. Sets EVENT once the first copy runs.
// Runs until it is ended; the copy it leaves behind is the test's to end.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Starts PROGRAM and waits until it says it runs; NULL on failure.
HANDLE StartCopy(const char *program, int sequence)
{
    char name[64];
    snprintf(name, sizeof name, "kwrndl-respawn-%lu-%d", GetCurrentProcessId(), sequence);
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, name);
    if (ready == NULL)
        return NULL;
    std::string line = std::string("\"") + program + "\" " + name;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    HANDLE result = NULL;
    if (CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        HANDLE both[2] = {ready, process.hProcess};
        if (WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0)
            result = process.hProcess;
        else
            CloseHandle(process.hProcess);
    }
    CloseHandle(ready);
    return result;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    int code = 4;
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    int sequence = 0;
    HANDLE copy = started != NULL ? StartCopy(argv[1], ++sequence) : NULL;
    if (copy != NULL) {
        SetEvent(started);
        code = 5;
    }
    while (copy != NULL) {
        WaitForSingleObject(copy, INFINITE);
        CloseHandle(copy);
        copy = StartCopy(argv[1], ++sequence);
    }
    if (started != NULL)
        CloseHandle(started);
    CloseHandle(file);
    return code;
}
