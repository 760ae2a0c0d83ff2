#include "test_support.h"

#include <cstdio>

std::string BinPath(const char *name)
{
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
    std::string dir(self, n);
    size_t slash = dir.find_last_of('\\');
    return dir.substr(0, slash + 1) + name;
}

std::string FreshTestDir(const std::string &name)
{
    std::string dir = "C:\\kwtest\\" + name;
    RemoveTree(dir);
    MakeDirs(dir);
    return dir + "\\";
}

bool WriteFileBytes(const std::string &path, const std::vector<uint8_t> &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = data.empty() || fwrite(&data[0], 1, data.size(), f) == data.size();
    ok = fclose(f) == 0 && ok;
    return ok;
}

bool WriteFileText(const std::string &path, const std::string &text)
{
    return WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::vector<uint8_t> data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    fclose(f);
    return data;
}

std::string ReadFileText(const std::string &path)
{
    std::vector<uint8_t> data = ReadFileBytes(path);
    return std::string(data.begin(), data.end());
}

bool PathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeDirs(const std::string &path)
{
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    }
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str()))
            RemoveDirectoryA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

bool CopyProgram(const std::string &from, const std::string &to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string CrLf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string WithoutCr(const std::string &text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        plain += text[i];
    }
    return plain;
}

bool RunProgram(const std::string &commandLine, ProgramResult *result, DWORD timeoutMs,
                const char *currentDirectory)
{
    result->out.clear();
    result->exitCode = (DWORD)-1;

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd = NULL, writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, currentDirectory,
                                  &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }

    char buffer[4096];
    DWORD n;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, NULL) && n > 0)
        result->out.append(buffer, n);
    CloseHandle(readEnd);

    bool ended = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process.hProcess, 255);
    GetExitCodeProcess(process.hProcess, &result->exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended;
}

HANDLE StartProgram(const std::string &commandLine, DWORD *pid)
{
    // Standard handles on NUL: a program that outlives the test must not
    // keep the test runner's output pipe open (Wine hands its Unix
    // descriptors on otherwise).
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (null != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
    }
    PROCESS_INFORMATION process;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, null != INVALID_HANDLE_VALUE, 0,
                                  NULL, NULL, &startup, &process);
    if (null != INVALID_HANDLE_VALUE)
        CloseHandle(null);
    if (!started)
        return NULL;
    CloseHandle(process.hThread);
    if (pid)
        *pid = process.dwProcessId;
    return process.hProcess;
}

bool SetProgramWindowsVersion(const std::string &exeName, const char *version)
{
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
    HKEY handle = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version,
                                 (DWORD)strlen(version) + 1);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

std::string WindowsDir()
{
    char dir[MAX_PATH];
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir, n);
}

HeldFile::HeldFile(const std::string &path, const char *share) : process_(NULL), stop_(NULL)
{
    Start(BinPath("lock-holder.exe"), "\"" + path + "\" " + share);
}

HeldFile::HeldFile(const std::string &exePath) : process_(NULL), stop_(NULL)
{
    if (CopyFileA(BinPath("lock-holder.exe").c_str(), exePath.c_str(), FALSE))
        Start(exePath, "- none");
}

void HeldFile::Start(const std::string &program, const std::string &arguments)
{
    static int sequence = 0;
    char name[64];
    snprintf(name, sizeof name, "kwrndl-lock-%lu-%d", GetCurrentProcessId(), ++sequence);
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, (std::string(name) + ".ready").c_str());
    stop_ = CreateEventA(NULL, TRUE, FALSE, (std::string(name) + ".stop").c_str());
    HANDLE process = StartProgram("\"" + program + "\" " + arguments + " " + name);
    if (process && ready) {
        HANDLE both[2] = {ready, process};
        // The holder ends at once when the file does not open.
        if (WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0)
            process_ = process;
        else
            CloseHandle(process);
    } else if (process) {
        CloseHandle(process);
    }
    if (ready)
        CloseHandle(ready);
}

HeldFile::~HeldFile()
{
    Release();
    if (stop_)
        CloseHandle(stop_);
}

void HeldFile::Release()
{
    if (!process_)
        return;
    SetEvent(stop_);
    WaitForSingleObject(process_, 30000);
    CloseHandle(process_);
    process_ = NULL;
}

void HeldFile::Detach()
{
    if (process_)
        CloseHandle(process_);
    process_ = NULL;
}
