// guard-probe.exe TRACE COMMAND [ARG]: runs one guard operation in a process
// of its own, so that a test can run it as the 9x family (a copy under
// another name with its own Windows version). The trace goes to the file
// TRACE; the result is printed on standard output.
//   open          OpenGuardDevice: "opened" or "failed <error>"
//   switch STATE  SwitchGuard(STATE): nothing printed
//   setting STATE ChangeGuardSettingLegacy(STATE): its result
//   active NAME   IsServiceActive(NAME): its result
#include "guard/driver_messages.h"
#include "guard/service_control.h"
#include "trace/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    TraceOpenFile(argv[1], "w");
    const char *command = argv[2];
    const char *argument = argc > 3 ? argv[3] : "";
    if (strcmp(command, "open") == 0) {
        HANDLE device = OpenGuardDevice();
        if (device == INVALID_HANDLE_VALUE) {
            printf("failed %lu", GetLastError());
        } else {
            printf("opened");
            CloseHandle(device);
        }
    } else if (strcmp(command, "switch") == 0) {
        SwitchGuard(atoi(argument));
    } else if (strcmp(command, "setting") == 0) {
        printf("%d", ChangeGuardSettingLegacy(atoi(argument)));
    } else if (strcmp(command, "active") == 0) {
        printf("%d", IsServiceActive(argument));
    } else {
        return 2;
    }
    return 0;
}
