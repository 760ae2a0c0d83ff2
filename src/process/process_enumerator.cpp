#include "process/process_enumerator.h"

#if !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 of the 32-bit system");
#endif

namespace {

const DWORD SnapProcesses = 2;           // TH32CS_SNAPPROCESS
const DWORD QueryAndReadAccess = 0x410;  // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
const DWORD IdBufferBytes = 4096;
const DWORD ModuleBufferBytes = 4096;

// GetProcAddress hands back one generic type; the detour through
// void (*)(void) tells the compiler that the cast is meant.
template <typename Function>
Function Lookup(HMODULE module, const char *name)
{
    FARPROC address = GetProcAddress(module, name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
}

}  // namespace

ToolhelpProcessEnumerator::ToolhelpProcessEnumerator()
    : kernel(NULL), snapshot(INVALID_HANDLE_VALUE), createSnapshot(NULL), processFirst(NULL),
      processNext(NULL)
{
    ZeroMemory(&entry, sizeof entry);
    kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel == NULL)
        return;
    createSnapshot = Lookup<CreateSnapshotFunction>(kernel, "CreateToolhelp32Snapshot");
    processFirst = Lookup<ProcessWalkFunction>(kernel, "Process32First");
    processNext = Lookup<ProcessWalkFunction>(kernel, "Process32Next");
    if (createSnapshot != NULL && processFirst != NULL && processNext != NULL) {
        // 296 on the 32-bit system; the 64-bit record is longer.
        entry.dwSize = sizeof entry;
        usable = 1;
    }
}

ToolhelpProcessEnumerator::~ToolhelpProcessEnumerator()
{
    if (snapshot != INVALID_HANDLE_VALUE)
        CloseHandle(snapshot);
}

int ToolhelpProcessEnumerator::Enumerate(ProcessCallback callback, void *userData)
{
    if (!usable || createSnapshot == NULL || processFirst == NULL || processNext == NULL)
        return 0;

    snapshot = createSnapshot(SnapProcesses, 0);
    // No snapshot lists nothing, like a snapshot without a first entry.
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    if (processFirst(snapshot, &entry)) {
        callback(entry.szExeFile, 0, entry.th32ProcessID, userData);
        while (processNext(snapshot, &entry) == 1)
            callback(entry.szExeFile, 0, entry.th32ProcessID, userData);
    }
    CloseHandle(snapshot);
    snapshot = INVALID_HANDLE_VALUE;
    return 1;
}

PsapiProcessEnumerator::PsapiProcessEnumerator()
    : psapi(NULL), vdmdbg(NULL), enumProcesses(NULL), getModuleFileNameEx(NULL),
      enumProcessModules(NULL), vdmEnumTaskWowEx(NULL), getModuleBaseName(NULL)
{
    psapi = LoadLibraryA("PSAPI.DLL");
    if (psapi == NULL)
        return;
    vdmdbg = LoadLibraryA("VDMDBG.DLL");
    if (vdmdbg == NULL)
        return;
    vdmEnumTaskWowEx = GetProcAddress(vdmdbg, "VDMEnumTaskWOWEx");
    enumProcesses = Lookup<EnumProcessesFunction>(psapi, "EnumProcesses");
    getModuleFileNameEx = Lookup<ModuleNameFunction>(psapi, "GetModuleFileNameExA");
    getModuleBaseName = Lookup<ModuleNameFunction>(psapi, "GetModuleBaseNameA");
    enumProcessModules = Lookup<EnumProcessModulesFunction>(psapi, "EnumProcessModules");
    if (vdmEnumTaskWowEx != NULL && enumProcesses != NULL && getModuleFileNameEx != NULL &&
        getModuleBaseName != NULL && enumProcessModules != NULL)
        usable = 1;
}

// Also after an enumeration that never ran: no library stays loaded.
PsapiProcessEnumerator::~PsapiProcessEnumerator()
{
    Release();
}

// The addresses die with the libraries, so the object becomes unusable.
void PsapiProcessEnumerator::Release()
{
    usable = 0;
    enumProcesses = NULL;
    getModuleFileNameEx = NULL;
    enumProcessModules = NULL;
    vdmEnumTaskWowEx = NULL;
    getModuleBaseName = NULL;
    if (vdmdbg != NULL)
        FreeLibrary(vdmdbg);
    vdmdbg = NULL;
    if (psapi != NULL)
        FreeLibrary(psapi);
    psapi = NULL;
}

int PsapiProcessEnumerator::Enumerate(ProcessCallback callback, void *userData)
{
    if (!usable || enumProcesses == NULL || getModuleFileNameEx == NULL ||
        enumProcessModules == NULL || vdmEnumTaskWowEx == NULL || getModuleBaseName == NULL)
        return 0;

    DWORD ids[IdBufferBytes / sizeof(DWORD)];
    DWORD idBytes = 0;
    if (!enumProcesses(ids, sizeof ids, &idBytes))
        return 0;
    DWORD count = idBytes / sizeof(DWORD);
    if (count > sizeof ids / sizeof ids[0])
        count = sizeof ids / sizeof ids[0];

    for (DWORD i = 0; i < count; ++i) {
        HANDLE process = OpenProcess(QueryAndReadAccess, FALSE, ids[i]);
        if (process == NULL)
            continue;
        HMODULE modules[ModuleBufferBytes / sizeof(HMODULE)];
        DWORD moduleBytes = 0;
        // The first module is the program file.
        if (enumProcessModules(process, modules, sizeof modules, &moduleBytes) &&
            moduleBytes >= sizeof(HMODULE)) {
            char path[MAX_PATH];
            DWORD length = getModuleFileNameEx(process, modules[0], path, sizeof path);
            if (length != 0) {
                // A cut-off name need not come back terminated.
                if (length >= sizeof path)
                    length = sizeof path - 1;
                path[length] = '\0';
                callback(path, 0, ids[i], userData);
            }
        }
        CloseHandle(process);
    }

    Release();
    return 1;
}

int EnumerateProcesses(int isNT, ProcessCallback callback, void *userData)
{
    if (isNT) {
        PsapiProcessEnumerator enumerator;
        return enumerator.Enumerate(callback, userData);
    }
    ToolhelpProcessEnumerator enumerator;
    return enumerator.Enumerate(callback, userData);
}
