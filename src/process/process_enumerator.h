#ifndef KWRNDL_PROCESS_PROCESS_ENUMERATOR_H
#define KWRNDL_PROCESS_PROCESS_ENUMERATOR_H

#include <windows.h>
#include <tlhelp32.h>

// Lists the running processes with the program file of each. The functions
// come from KERNEL32 (9x family) or PSAPI.DLL and VDMDBG.DLL (NT family) and
// are all looked up at run time: a system without them lists nothing.

// Called once per process; its result is ignored. reserved is always 0.
typedef int (*ProcessCallback)(const char *path, int reserved, DWORD processId, void *userData);

class ProcessEnumerator {
public:
    ProcessEnumerator() : usable(0) {}
    virtual ~ProcessEnumerator() {}
    ProcessEnumerator(const ProcessEnumerator &) = delete;
    ProcessEnumerator &operator=(const ProcessEnumerator &) = delete;

    // 1 when the enumeration ran, 0 when the method is not available.
    virtual int Enumerate(ProcessCallback callback, void *userData) = 0;

    int usable;
};

typedef HANDLE(WINAPI *CreateSnapshotFunction)(DWORD flags, DWORD processId);
typedef BOOL(WINAPI *ProcessWalkFunction)(HANDLE snapshot, PROCESSENTRY32 *entry);

class ToolhelpProcessEnumerator : public ProcessEnumerator {
public:
    ToolhelpProcessEnumerator();
    ~ToolhelpProcessEnumerator();
    int Enumerate(ProcessCallback callback, void *userData);

    HMODULE kernel;  // not owned
    HANDLE snapshot;
    PROCESSENTRY32 entry;
    CreateSnapshotFunction createSnapshot;
    ProcessWalkFunction processFirst;
    ProcessWalkFunction processNext;
};

typedef BOOL(WINAPI *EnumProcessesFunction)(DWORD *ids, DWORD size, DWORD *needed);
typedef BOOL(WINAPI *EnumProcessModulesFunction)(HANDLE process, HMODULE *modules, DWORD size,
                                                 DWORD *needed);
typedef DWORD(WINAPI *ModuleNameFunction)(HANDLE process, HMODULE module, char *name,
                                          DWORD size);

class PsapiProcessEnumerator : public ProcessEnumerator {
public:
    PsapiProcessEnumerator();
    ~PsapiProcessEnumerator();
    int Enumerate(ProcessCallback callback, void *userData);

    HMODULE psapi;   // owned
    HMODULE vdmdbg;  // owned
    EnumProcessesFunction enumProcesses;
    ModuleNameFunction getModuleFileNameEx;
    EnumProcessModulesFunction enumProcessModules;
    FARPROC vdmEnumTaskWowEx;  // only required to be present, never called
    ModuleNameFunction getModuleBaseName;

private:
    void Release();
};

// isNT: the answer of IsWindowsNT. Returns what Enumerate returned.
int EnumerateProcesses(int isNT, ProcessCallback callback, void *userData);

#endif
