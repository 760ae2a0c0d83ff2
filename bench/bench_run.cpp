// bench-run.exe COMMAND-LINE: runs a program to its end with its output
// discarded, then prints its wall time and peak memory, read from the
// process itself so that Wine's own processes do not count.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        std::string arg = argv[i];
        // A backslash before the closing quote would escape it.
        if (!arg.empty() && arg.back() == '\\')
            arg += '\\';
        line += "\"" + arg + "\"";
    }
    HANDLE null = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    SetHandleInformation(null, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = null;
    startup.hStdError = null;
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s (%lu)\n", line.c_str(), GetLastError());
        return 2;
    }
    // Peak figures are read while the process still exists.
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    DWORD code = 0;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
        GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    QueryPerformanceCounter(&end);
    GetExitCodeProcess(process.hProcess, &code);
    printf("exit=%lu seconds=%.2f peak_working_set_kib=%lu peak_private_kib=%lu\n", code,
           (double)(end.QuadPart - start.QuadPart) / frequency.QuadPart,
           (unsigned long)(memory.PeakWorkingSetSize / 1024),
           (unsigned long)(memory.PeakPagefileUsage / 1024));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(null);
    return 0;
}
