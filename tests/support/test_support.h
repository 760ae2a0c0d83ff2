#ifndef KWRNDL_TESTS_TEST_SUPPORT_H
#define KWRNDL_TESTS_TEST_SUPPORT_H

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

// Files, programs and registry values for tests that run under Wine, in the
// test's own disposable prefix.

// A program that the build put beside the running test program.
std::string BinPath(const char *name);

// A fresh, empty directory C:\kwtest\<name>\ (with the final backslash).
std::string FreshTestDir(const std::string &name);

bool WriteFileBytes(const std::string &path, const std::vector<uint8_t> &data);
bool WriteFileText(const std::string &path, const std::string &text);
std::vector<uint8_t> ReadFileBytes(const std::string &path);
std::string ReadFileText(const std::string &path);
bool PathExists(const std::string &path);
bool MakeDirs(const std::string &path);
void RemoveTree(const std::string &path);
bool CopyProgram(const std::string &from, const std::string &to);

// "\n" -> "\r\n": what a text-mode stream of the tool writes.
std::string CrLf(const std::string &text);
// "\r\n" -> "\n": such a stream's text read back.
std::string WithoutCr(const std::string &text);

struct ProgramResult {
    std::string out;   // standard output, as written
    DWORD exitCode;
};

// Runs a command line to its end with standard output captured. false when
// it did not start or did not end within the timeout (it is then killed).
bool RunProgram(const std::string &commandLine, ProgramResult *result,
                DWORD timeoutMs = 300000, const char *currentDirectory = NULL);

// Starts a program and leaves it running; the caller owns the handle.
HANDLE StartProgram(const std::string &commandLine, DWORD *pid = NULL);

// Wine's per-program Windows version (win98, winxp, win7, ...): the same
// binary under another name runs as the other family.
bool SetProgramWindowsVersion(const std::string &exeName, const char *version);

// The Windows directory, without a final backslash.
std::string WindowsDir();

#endif

#ifndef KWRNDL_TESTS_HELD_FILE
#define KWRNDL_TESTS_HELD_FILE
// A file held open by another process (lock-holder.exe) for the object's
// life: share is "none", "read", "readwrite" or "all".
class HeldFile {
public:
    HeldFile(const std::string &path, const char *share);
    // Copies the holder program to exePath and runs it: a program file in use.
    explicit HeldFile(const std::string &exePath);
    ~HeldFile();
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

    bool Held() const { return process_ != NULL; }
    void Release();
    // Leaves the holder running past the object (until the prefix restarts).
    void Detach();

private:
    void Start(const std::string &program, const std::string &arguments);

    HANDLE process_;
    HANDLE stop_;
};
#endif
