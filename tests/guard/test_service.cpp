// test-service.exe [hold]: a service program for the tests, installed under
// any service name (own process, demand start) with this program as its
// binary path, and run by the service control manager.
//
// It accepts stop, pause and continue. Without an argument every change of
// state is made at once: started, it reports SERVICE_RUNNING first thing;
// stopped, SERVICE_STOP_PENDING and then SERVICE_STOPPED.
// With "hold" each pending state (start, stop, pause, continue) stays until
// a test sets the auto-reset event "Global\kwrndl_test_service_release"
// (one pending state ends per set), so that the test sees it for as long as
// it likes; controls are refused while a state is pending. A pending state
// that nobody releases ends after five minutes, so that a forgotten service
// never holds up its prefix.
#include <windows.h>

#include <cstring>

namespace {

const char ReleaseEventName[] = "Global\\kwrndl_test_service_release";
const DWORD HoldLimitMs = 5 * 60 * 1000;

int g_hold = 0;
SERVICE_STATUS_HANDLE g_statusHandle = NULL;
CRITICAL_SECTION g_lock;
SERVICE_STATUS g_status;
DWORD g_target = 0;          // the state that the pending one leads to
HANDLE g_requested = NULL;   // set when a control asks for a change
HANDLE g_release = NULL;

void Report(DWORD state, DWORD target)
{
    EnterCriticalSection(&g_lock);
    g_status.dwCurrentState = state;
    g_target = target;
    int pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                  state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
    g_status.dwControlsAccepted = pending || state == SERVICE_STOPPED
                                      ? 0
                                      : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    ++g_status.dwCheckPoint;
    SetServiceStatus(g_statusHandle, &g_status);
    LeaveCriticalSection(&g_lock);
}

void Hold()
{
    if (g_hold)
        WaitForSingleObject(g_release, HoldLimitMs);
}

DWORD WINAPI Handler(DWORD control, DWORD, void *, void *)
{
    EnterCriticalSection(&g_lock);
    DWORD state = g_status.dwCurrentState;
    LeaveCriticalSection(&g_lock);

    DWORD pending = 0, target = 0;
    if (control == SERVICE_CONTROL_STOP && (state == SERVICE_RUNNING || state == SERVICE_PAUSED)) {
        pending = SERVICE_STOP_PENDING;
        target = SERVICE_STOPPED;
    } else if (control == SERVICE_CONTROL_PAUSE && state == SERVICE_RUNNING) {
        pending = SERVICE_PAUSE_PENDING;
        target = SERVICE_PAUSED;
    } else if (control == SERVICE_CONTROL_CONTINUE && state == SERVICE_PAUSED) {
        pending = SERVICE_CONTINUE_PENDING;
        target = SERVICE_RUNNING;
    } else if (control == SERVICE_CONTROL_INTERROGATE) {
        Report(state, 0);
        return NO_ERROR;
    } else {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    Report(pending, target);
    SetEvent(g_requested);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, char **argv)
{
    memset(&g_status, 0, sizeof g_status);
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwWaitHint = HoldLimitMs;
    g_statusHandle = RegisterServiceCtrlHandlerExA(argc > 0 ? argv[0] : "", Handler, NULL);
    if (g_statusHandle == NULL)
        return;
    g_requested = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_release = CreateEventA(NULL, FALSE, FALSE, ReleaseEventName);
    if (g_requested == NULL || g_release == NULL) {
        g_status.dwWin32ExitCode = GetLastError();
    } else {
        // Without hold the start is at once: StartService then already sees
        // it running.
        if (g_hold)
            Report(SERVICE_START_PENDING, SERVICE_RUNNING);
        else
            g_target = SERVICE_RUNNING;
        for (;;) {
            Hold();
            EnterCriticalSection(&g_lock);
            DWORD target = g_target;
            LeaveCriticalSection(&g_lock);
            if (target == SERVICE_STOPPED)
                break;
            Report(target, 0);
            WaitForSingleObject(g_requested, INFINITE);
        }
    }
    if (g_release != NULL)
        CloseHandle(g_release);
    if (g_requested != NULL)
        CloseHandle(g_requested);
    Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char **argv)
{
    g_hold = argc > 1 && strcmp(argv[1], "hold") == 0;
    InitializeCriticalSection(&g_lock);
    char name[] = "KwrndlTestService";  // ignored for a service of its own process
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {NULL, NULL}};
    int started = StartServiceCtrlDispatcherA(table) ? 1 : 0;
    DeleteCriticalSection(&g_lock);
    return started ? 0 : 1;
}
