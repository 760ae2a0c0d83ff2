#include "process_fixture.h"

#include "detect/crc32.h"
#include "detect/signature.h"
#include "fixtures.h"
#include "process/process_enumerator.h"
#include "test_support.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

// Row 0 covers the first 5632 bytes of a file, DOS stub included.
const int StubRow = 0;
const uint32_t DosStubOffset = 0x40;

const char SessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char PendingValue[] = "PendingFileRenameOperations";

std::string Lower(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    }
    return text;
}

// Process access rights are mapped the Vista way under Wine: query
// information implies its limited form, which the entry must grant too.
const DWORD ReadOnlyAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | 0x1000 | SYNCHRONIZE;

struct EndUnder {
    std::string prefix;
};

int EndIfUnder(const char *path, int, DWORD pid, void *userData)
{
    const EndUnder *end = static_cast<const EndUnder *>(userData);
    if (Lower(path).compare(0, end->prefix.size(), end->prefix) != 0)
        return 0;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process != NULL) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 30000);
        CloseHandle(process);
    }
    return 0;
}

}  // namespace

std::vector<uint8_t> InfectedStubImage()
{
    std::vector<uint8_t> image = ReadFileBytes(BinPath("process-stub.exe"));
    const SignatureRecord &row = SignatureTable[StubRow];
    if (image.size() < (size_t)row.length || image[0] != 'M' || image[1] != 'Z')
        return std::vector<uint8_t>();
    uint32_t peOffset;
    memcpy(&peOffset, &image[0x3C], sizeof peOffset);
    // The four forced bytes must stay between the DOS header and the PE header.
    if (peOffset < DosStubOffset + 4)
        return std::vector<uint8_t>();
    ForceCrc32(&image[0], (uint32_t)row.length, DosStubOffset, (uint32_t)row.crc);
    return image;
}

bool WriteInfectedProgram(const std::string &path)
{
    std::vector<uint8_t> image = InfectedStubImage();
    return !image.empty() && WriteFileBytes(path, image);
}

bool WriteCleanProgram(const std::string &path)
{
    return CopyProgram(BinPath("process-stub.exe"), path);
}

RunningProgram::RunningProgram(const std::string &path, Access access) : process_(NULL), pid_(0)
{
    static int sequence = 0;
    char name[64];
    snprintf(name, sizeof name, "kwrndl-stub-%lu-%d", GetCurrentProcessId(), ++sequence);
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, name);
    if (ready == NULL)
        return;

    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    BYTE aclBuffer[256];
    ACL *acl = reinterpret_cast<ACL *>(aclBuffer);
    InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    if (access == NoTerminate && everyone != NULL)
        AddAccessAllowedAce(acl, ACL_REVISION, ReadOnlyAccess, everyone);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};

    std::string line = "\"" + path + "\" " + name;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // The creator's own handle has every right, whatever the descriptor says.
    if (CreateProcessA(NULL, &line[0], access == Open ? NULL : &attributes, NULL, FALSE, 0, NULL,
                       NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        HANDLE both[2] = {ready, process.hProcess};
        if (WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0) {
            process_ = process.hProcess;
            pid_ = process.dwProcessId;
        } else {
            TerminateProcess(process.hProcess, 0);
            CloseHandle(process.hProcess);
        }
    }
    if (everyone != NULL)
        FreeSid(everyone);
    CloseHandle(ready);
}

RunningProgram::~RunningProgram()
{
    if (process_ == NULL)
        return;
    TerminateProcess(process_, 0);
    WaitForSingleObject(process_, 30000);
    CloseHandle(process_);
}

bool RunningProgram::Ended() const
{
    return process_ != NULL && WaitForSingleObject(process_, 30000) == WAIT_OBJECT_0;
}

bool RunningProgram::StillRunning() const
{
    return process_ != NULL && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void EndProgramsUnder(const std::string &dir)
{
    EndUnder end = {Lower(dir)};
    EnumerateProcesses(1, EndIfUnder, &end);
}

PendingRenamesRestorer::PendingRenamesRestorer() : present_(false)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExA(key, PendingValue, NULL, NULL, NULL, &size) == ERROR_SUCCESS) {
        value_.resize(size + 2);
        DWORD got = (DWORD)value_.size();
        if (RegQueryValueExA(key, PendingValue, NULL, NULL, &value_[0], &got) == ERROR_SUCCESS) {
            value_.resize(got);
            present_ = true;
        }
    }
    RegCloseKey(key);
}

PendingRenamesRestorer::~PendingRenamesRestorer()
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    if (present_)
        RegSetValueExA(key, PendingValue, 0, REG_MULTI_SZ, value_.empty() ? NULL : &value_[0],
                       (DWORD)value_.size());
    else
        RegDeleteValueA(key, PendingValue);
    RegCloseKey(key);
}

ToolRun RunTool(const std::string &exe, const std::string &arguments, const char *currentDirectory)
{
    ToolRun run;
    std::string log = WindowsDir() + "\\k-wrndl.log";
    std::string before = ReadFileText(log);
    ProgramResult result;
    run.ended = RunProgram("\"" + exe + "\" " + arguments, &result, 600000, currentDirectory);
    run.console = WithoutCr(result.out);
    run.exitCode = result.exitCode;
    std::string after = ReadFileText(log);
    if (after.compare(0, before.size(), before) == 0)
        run.traceAdded = WithoutCr(after.substr(before.size()));
    else
        run.traceAdded = "<log was not appended to>\n" + WithoutCr(after);
    return run;
}

std::string Banner()
{
    return "Wrendal (Quorfex) Removal Tool ver 2.00.5230\n"
           "Published by the K-Wrndl developers, free of charge and without warranty.\n";
}

std::string ToolCopy(const std::string &name)
{
    MakeDirs("C:\\kwtest\\bin");
    std::string copy = "C:\\kwtest\\bin\\" + name;
    return CopyProgram(BinPath("k-wrndl.exe"), copy) ? copy : std::string();
}

bool DisableLibraryFor(const std::string &exeName, const char *library)
{
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides";
    HKEY handle = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle,
                        NULL) != ERROR_SUCCESS)
        return false;
    // An empty load order: neither the built-in nor a native library.
    LONG status = RegSetValueExA(handle, library, 0, REG_SZ, (const BYTE *)"", 1);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

size_t CountOf(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::string MissingInOrder(const std::string &text, const std::vector<std::string> &parts)
{
    size_t at = 0;
    for (const std::string &part : parts) {
        size_t found = text.find(part, at);
        if (found == std::string::npos)
            return "missing (in this order): " + part;
        at = found + part.size();
    }
    return std::string();
}

bool SamePath(const std::string &a, const std::string &b)
{
    return Lower(a) == Lower(b);
}
