#include "guard_fixture.h"

#include "test_support.h"

#include <cstdio>

const char HandlerServiceName[] = "Kestrune Brisquall Handler Starter";
const char GuardServiceName[] = "Kestrune Brisquall";

namespace {

const char ReleaseEventName[] = "Global\\kwrndl_test_service_release";
// Create options as the guard sees them.
const unsigned CreateSynchronous = 0x20;     // FILE_SYNCHRONOUS_IO_NONALERT
const unsigned CreateDeleteOnClose = 0x1000; // FILE_DELETE_ON_CLOSE

const int StateWaits = 600;       // of 50 ms: half a minute
const DWORD StateWaitMs = 50;

struct ServiceHandles {
    SC_HANDLE manager = NULL;
    SC_HANDLE service = NULL;
    ServiceHandles(const std::string &name)
    {
        manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        if (manager != NULL)
            service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    }
    ~ServiceHandles()
    {
        if (service != NULL)
            CloseServiceHandle(service);
        if (manager != NULL)
            CloseServiceHandle(manager);
    }
    ServiceHandles(const ServiceHandles &) = delete;
    ServiceHandles &operator=(const ServiceHandles &) = delete;
};

std::string CopiedProgram(const char *name)
{
    MakeDirs(GuardBinDir());
    std::string copy = GuardBinDir() + name;
    CopyProgram(BinPath(name), copy);
    return copy;
}

bool CreateNamedService(const std::string &name, DWORD type, const std::string &path)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL)
        return false;
    SC_HANDLE service = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                       type, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       path.c_str(), NULL, NULL, NULL, NULL, NULL);
    if (service == NULL)
        fprintf(stderr, "CreateService %s: error %lu\n", name.c_str(), GetLastError());
    else
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != NULL;
}

HANDLE OpenGuardControl()
{
    return CreateFileA(REFERENCE_GUARD_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

std::string DriverPath()
{
    return WindowsDir() + "\\system32\\drivers\\" REFERENCE_GUARD_FILE;
}

const char *DeviceName(unsigned device)
{
    switch (device) {
    case GuardDeviceNT:
        return "NT";
    case GuardDeviceBQ95:
        return "BQ95";
    case GuardDeviceZEM:
        return "ZEM";
    case GuardDeviceKrbq95:
        return "krbq95";
    default:
        return "?";
    }
}

}  // namespace

std::string GuardBinDir()
{
    return "C:\\kwtest\\guard-bin\\";
}

std::string TestServiceCommand(bool hold)
{
    return "\"" + CopiedProgram("test-service.exe") + "\"" + (hold ? " hold" : "");
}

void ReleaseHold()
{
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, ReleaseEventName);
    if (event != NULL) {
        SetEvent(event);
        CloseHandle(event);
    }
}

bool InstallService(const std::string &name, const std::string &commandLine)
{
    RemoveService(name);
    return CreateNamedService(name, SERVICE_WIN32_OWN_PROCESS, commandLine);
}

void RemoveService(const std::string &name)
{
    {
        ServiceHandles handles(name);
        if (handles.service == NULL)
            return;
        SERVICE_STATUS status;
        for (int wait = 0; wait < StateWaits; ++wait) {
            if (!QueryServiceStatus(handles.service, &status) ||
                status.dwCurrentState == SERVICE_STOPPED)
                break;
            if (status.dwCurrentState == SERVICE_RUNNING ||
                status.dwCurrentState == SERVICE_PAUSED)
                ControlService(handles.service, SERVICE_CONTROL_STOP, &status);
            else
                ReleaseHold();
            Sleep(StateWaitMs);
        }
        DeleteService(handles.service);
    }
    // Deletion completes once the last handle is closed.
    for (int wait = 0; wait < StateWaits; ++wait) {
        ServiceHandles handles(name);
        if (handles.service == NULL)
            return;
        Sleep(StateWaitMs);
    }
}

bool StartNamedService(const std::string &name)
{
    ServiceHandles handles(name);
    return handles.service != NULL && StartServiceA(handles.service, 0, NULL);
}

bool SendServiceControl(const std::string &name, DWORD control)
{
    ServiceHandles handles(name);
    SERVICE_STATUS status;
    return handles.service != NULL && ControlService(handles.service, control, &status);
}

DWORD ServiceState(const std::string &name)
{
    ServiceHandles handles(name);
    SERVICE_STATUS status;
    if (handles.service == NULL || !QueryServiceStatus(handles.service, &status))
        return 0;
    return status.dwCurrentState;
}

bool WaitForServiceState(const std::string &name, DWORD state)
{
    for (int wait = 0; wait < StateWaits; ++wait) {
        if (ServiceState(name) == state)
            return true;
        Sleep(StateWaitMs);
    }
    return false;
}

bool InstallReferenceGuard()
{
    RemoveReferenceGuard();
    if (!CopyProgram(BinPath(REFERENCE_GUARD_FILE), DriverPath()))
        return false;
    return CreateNamedService(REFERENCE_GUARD_SERVICE, SERVICE_KERNEL_DRIVER, DriverPath()) &&
           StartNamedService(REFERENCE_GUARD_SERVICE) &&
           WaitForServiceState(REFERENCE_GUARD_SERVICE, SERVICE_RUNNING);
}

void RemoveReferenceGuard()
{
    RemoveService(REFERENCE_GUARD_SERVICE);
    DeleteFileA(DriverPath().c_str());
}

bool ResetReferenceGuard(unsigned answer, unsigned pendRequest, unsigned state)
{
    HANDLE control = OpenGuardControl();
    if (control == INVALID_HANDLE_VALUE)
        return false;
    GuardMode mode = {answer, pendRequest, state};
    DWORD returned = 0;
    BOOL done = DeviceIoControl(control, GUARD_TEST_RESET, &mode, sizeof mode, NULL, 0, &returned,
                                NULL);
    CloseHandle(control);
    return done != 0;
}

bool ReadReferenceGuard(GuardRecord *record)
{
    HANDLE control = OpenGuardControl();
    if (control == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    BOOL done = DeviceIoControl(control, GUARD_TEST_READ_RECORD, NULL, 0, record, sizeof *record,
                                &returned, NULL);
    CloseHandle(control);
    return done && returned == sizeof *record && record->count <= GUARD_RECORD_MAX;
}

std::vector<std::string> DescribeReferenceGuard()
{
    std::vector<std::string> lines;
    static GuardRecord record;
    if (!ReadReferenceGuard(&record)) {
        lines.push_back("(the reference guard cannot be read)");
        return lines;
    }
    std::vector<unsigned> openings;
    for (unsigned i = 0; i < record.count; ++i) {
        const GuardEvent &event = record.events[i];
        unsigned number = 0;
        while (number < openings.size() && openings[number] != event.opening)
            ++number;
        if (number == openings.size())
            openings.push_back(event.opening);

        char line[400];
        int n = snprintf(line, sizeof line, "%s#%u ", DeviceName(event.device), number + 1);
        switch (event.kind) {
        case GuardEventCreate:
            snprintf(line + n, sizeof line - n, "open share=%u%s%s", event.shareAccess,
                     event.createOptions & CreateSynchronous ? "" : " overlapped",
                     event.createOptions & CreateDeleteOnClose ? " delete-on-close" : "");
            break;
        case GuardEventControl: {
            n += snprintf(line + n, sizeof line - n, "%08X", event.code);
            unsigned shown = event.inputLength < GUARD_EVENT_INPUT_MAX ? event.inputLength
                                                                       : GUARD_EVENT_INPUT_MAX;
            if (shown > 0)
                n += snprintf(line + n, sizeof line - n, " in=");
            for (unsigned b = 0; b < shown; ++b)
                n += snprintf(line + n, sizeof line - n, b ? " %02X" : "%02X", event.input[b]);
            if (event.outputLength > 0)
                n += snprintf(line + n, sizeof line - n, " out=%u", event.outputLength);
            if (event.status == (unsigned)STATUS_PENDING)
                snprintf(line + n, sizeof line - n, " pending");
            break;
        }
        case GuardEventCancel:
            snprintf(line + n, sizeof line - n, "cancel %08X", event.code);
            break;
        default:
            snprintf(line + n, sizeof line - n, "close");
            break;
        }
        lines.push_back(line);
    }
    if (record.lost > 0)
        lines.push_back("(" + std::to_string(record.lost) + " events lost)");
    return lines;
}

bool RunGuardProbe(bool win98, const std::string &arguments, std::string *out,
                   std::string *trace)
{
    const char *name = win98 ? "guard-probe-98.exe" : "guard-probe.exe";
    MakeDirs(GuardBinDir());
    std::string program = GuardBinDir() + name;
    if (!CopyProgram(BinPath("guard-probe.exe"), program) ||
        (win98 && !SetProgramWindowsVersion(name, "win98")))
        return false;
    std::string tracePath = GuardBinDir() + "probe-trace.log";
    DeleteFileA(tracePath.c_str());

    ProgramResult result;
    bool ran = RunProgram("\"" + program + "\" \"" + tracePath + "\" " + arguments, &result);
    *out = result.out;
    std::string raw = ReadFileText(tracePath);
    trace->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            *trace += raw[i];
    }
    return ran && result.exitCode == 0;
}

bool SetMachineValue(const char *key, const char *value, DWORD type, const void *data,
                     DWORD size)
{
    HKEY handle = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &handle,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG status = data != NULL ? RegSetValueExA(handle, value, 0, type, (const BYTE *)data, size)
                               : RegDeleteValueA(handle, value);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS || (data == NULL && status == ERROR_FILE_NOT_FOUND);
}
