#include "guard/service_control.h"

#include "run/probes.h"
#include "trace/trace.h"

#include <windows.h>

namespace {

const char HandlerService[] = "Kestrune Brisquall Handler Starter";

const int StopWaits = 20;
const DWORD StopWaitMs = 100;

// A missing handler service is no failure: most machines have none.
int OpenHandlerService(SC_HANDLE *manager, SC_HANDLE *service, int *missingResult)
{
    *manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (*manager == NULL) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "OpenSCManager was failed %ld\n",
                     (long)GetLastError());
        *missingResult = 0;
        return 0;
    }
    *service = OpenServiceA(*manager, HandlerService, SERVICE_ALL_ACCESS);
    if (*service == NULL) {
        DWORD error = GetLastError();
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "OpenService was failed %ld\n",
                     (long)error);
        CloseServiceHandle(*manager);
        *missingResult = error == ERROR_SERVICE_DOES_NOT_EXIST ? 1 : 0;
        return 0;
    }
    return 1;
}

}  // namespace

int StopGuardHandlerService()
{
    SC_HANDLE manager = NULL, service = NULL;
    int result = 0;
    if (!OpenHandlerService(&manager, &service, &result))
        return result;

    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    int accepted = ControlService(service, SERVICE_CONTROL_STOP, &status) ? 1 : 0;
    DWORD error = accepted ? 0 : GetLastError();
    DWORD state = status.dwCurrentState;
    if (accepted && QueryServiceStatus(service, &status)) {
        state = status.dwCurrentState;
        for (int wait = 0; state == SERVICE_STOP_PENDING && wait < StopWaits; ++wait) {
            Sleep(StopWaitMs);
            if (!QueryServiceStatus(service, &status))
                break;
            state = status.dwCurrentState;
        }
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    if (accepted)
        return state == SERVICE_STOPPED ? 1 : 0;
    if (error == ERROR_SERVICE_NOT_ACTIVE) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Service was stopped\n");
        return 1;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Cannot stop service %ld\n", (long)error);
    return 0;
}

int StartGuardHandlerService()
{
    SC_HANDLE manager = NULL, service = NULL;
    int result = 0;
    if (!OpenHandlerService(&manager, &service, &result))
        return result;

    // Cleared first, so that a successful start never shows a stale code.
    SetLastError(0);
    BOOL started = StartServiceA(service, 0, NULL);
    DWORD error = GetLastError();
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "StartService %d, error=%ld\n", started,
                 (long)error);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return started;
}

int IsServiceActive(const char *serviceName)
{
    if (GetPlatformKind() != PlatformNT)
        return 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    if (manager == NULL)
        return 0;

    int active = 0;
    SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_QUERY_STATUS);
    if (service != NULL) {
        SERVICE_STATUS status;
        if (QueryServiceStatus(service, &status)) {
            DWORD state = status.dwCurrentState;
            active = state == SERVICE_START_PENDING || state == SERVICE_RUNNING ||
                     state == SERVICE_CONTINUE_PENDING;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return active;
}
