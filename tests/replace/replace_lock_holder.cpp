// replace-lock-holder.exe EVENTS [PATH SHARE]
// Keeps PATH open for reading, sharing only what SHARE names (none, read,
// readwrite), until the event EVENTS.stop is set; sets EVENTS.ready once it
// holds the file. Without PATH it only waits, so that a copy of it is a
// running program whose image file is in use.
#include <windows.h>

#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4)
        return 2;
    std::string events = argv[1];
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (events + ".ready").c_str());
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, (events + ".stop").c_str());
    HANDLE file = INVALID_HANDLE_VALUE;
    int code = 3;
    if (ready && stop) {
        code = 0;
        if (argc == 4) {
            DWORD share = 0;
            if (strcmp(argv[3], "read") == 0)
                share = FILE_SHARE_READ;
            else if (strcmp(argv[3], "readwrite") == 0)
                share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            file = CreateFileA(argv[2], GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
            if (file == INVALID_HANDLE_VALUE)
                code = 4;
        }
    }
    if (code == 0) {
        SetEvent(ready);
        WaitForSingleObject(stop, INFINITE);
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (stop)
        CloseHandle(stop);
    if (ready)
        CloseHandle(ready);
    return code;
}
