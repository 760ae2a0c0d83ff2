#ifndef KWRNDL_TESTS_PROCESS_FIXTURE_H
#define KWRNDL_TESTS_PROCESS_FIXTURE_H

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

// Real processes for the enumeration and sweep tests. Every program they
// start lives in C:\kwtest of this test group's own prefix, so no sweep can
// meet a process of anybody else.

// process-stub.exe with four bytes of its DOS stub forced so that the file
// matches signature row 0: a working program that the matcher calls a
// malware file.
std::vector<uint8_t> InfectedStubImage();
bool WriteInfectedProgram(const std::string &path);
bool WriteCleanProgram(const std::string &path);

// A running copy of a program that has said it runs; ended through the
// test's own handle when the object dies.
class RunningProgram {
public:
    enum Access {
        Open,         // anybody may open and end it
        NoTerminate,  // others may read it, but not end it
        NoAccess,     // others may not open it at all
    };
    explicit RunningProgram(const std::string &path, Access access = Open);
    ~RunningProgram();
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    bool Started() const { return process_ != NULL; }
    // Waits up to 30 s for the end (termination is asynchronous).
    bool Ended() const;
    bool StillRunning() const;
    DWORD Pid() const { return pid_; }

private:
    HANDLE process_;
    DWORD pid_;
};

// Ends every process whose program file lies under dir: the copies that
// respawner.exe leaves behind.
void EndProgramsUnder(const std::string &dir);

// Puts PendingFileRenameOperations back as it was, so that no deletion a test
// scheduled fires at a later start of the prefix, in the middle of another
// test.
class PendingRenamesRestorer {
public:
    PendingRenamesRestorer();
    ~PendingRenamesRestorer();
    PendingRenamesRestorer(const PendingRenamesRestorer &) = delete;
    PendingRenamesRestorer &operator=(const PendingRenamesRestorer &) = delete;

private:
    bool present_;
    std::vector<BYTE> value_;
};

// One whole run of a k-wrndl build: console, exit code and what it appended
// to k-wrndl.log in the Windows directory; line ends as "\n".
struct ToolRun {
    bool ended;
    std::string console;
    DWORD exitCode;
    std::string traceAdded;
};
ToolRun RunTool(const std::string &exe, const std::string &arguments,
                const char *currentDirectory = NULL);
std::string Banner();

// A copy of k-wrndl.exe under C:\kwtest\bin\ (Wine's per-program settings go
// by the file name).
std::string ToolCopy(const std::string &name);
// Wine's per-program DLL override: the library is not loaded for that program.
bool DisableLibraryFor(const std::string &exeName, const char *library);

size_t CountOf(const std::string &text, const std::string &part);
// Empty when every part occurs in text in the given order, else what is missing.
std::string MissingInOrder(const std::string &text, const std::vector<std::string> &parts);
bool SamePath(const std::string &a, const std::string &b);

#endif
