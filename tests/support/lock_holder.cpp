// lock-holder.exe PATH SHARE EVENT
// Holds PATH open for reading with the given sharing (none, read, readwrite,
// all) until the event EVENT.stop is set or the process is ended; sets
// EVENT.ready once the file is open. Lets a test make a file "in use by
// another program" for real. PATH "-" holds nothing: a copy of the program
// then only runs, so that its own program file is in use.
#include <windows.h>

#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    DWORD share = 0;
    if (strcmp(argv[2], "read") == 0)
        share = FILE_SHARE_READ;
    else if (strcmp(argv[2], "readwrite") == 0)
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    else if (strcmp(argv[2], "all") == 0)
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

    std::string name = argv[3];
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, (name + ".ready").c_str());
    HANDLE stop = CreateEventA(NULL, TRUE, FALSE, (name + ".stop").c_str());
    if (!ready || !stop)
        return 3;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (strcmp(argv[1], "-") != 0) {
        file = CreateFileA(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return 4;
    }
    SetEvent(ready);
    WaitForSingleObject(stop, INFINITE);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    CloseHandle(stop);
    CloseHandle(ready);
    return 0;
}
