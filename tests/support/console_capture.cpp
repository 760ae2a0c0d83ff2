#include "console_capture.h"

#include "test_support.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

ConsoleCapture::ConsoleCapture() : savedStdout_(-1), file_(-1)
{
    char dir[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "kco", 0, path);
    path_ = path;
    fflush(stdout);
    file_ = _open(path, _O_RDWR | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    savedStdout_ = _dup(1);
    if (file_ != -1 && savedStdout_ != -1)
        _dup2(file_, 1);
}

ConsoleCapture::~ConsoleCapture()
{
    fflush(stdout);
    if (savedStdout_ != -1) {
        _dup2(savedStdout_, 1);
        _close(savedStdout_);
    }
    if (file_ != -1)
        _close(file_);
    DeleteFileA(path_.c_str());
}

std::string ConsoleCapture::Text() const
{
    fflush(stdout);
    // stdout is a text stream: each "\n" arrives as "\r\n".
    return WithoutCr(ReadFileText(path_));
}
