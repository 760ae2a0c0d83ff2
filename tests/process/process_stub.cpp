// process-stub.exe [EVENT]: sets the named event once it runs, then waits to
// be ended. The tests turn copies of it into "infected" programs by forcing
// four bytes of its DOS stub, which the loader never reads.
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc > 1) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
        if (ready != NULL) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    for (;;)
        Sleep(INFINITE);
}
