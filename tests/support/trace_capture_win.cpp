#include "trace_capture.h"

#include "test_support.h"
#include "trace/trace.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string ScratchPath()
{
    char dir[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "ktr", 0, path);
    return path;
}

}  // namespace

TraceCapture::TraceCapture() : path_(ScratchPath())
{
    TraceOpenFile(path_.c_str(), "w+");
}

TraceCapture::~TraceCapture()
{
    // Park the facility on the debugger output again: another name closes
    // the file, and a name that cannot be opened leaves none open.
    TraceOpenFile("", "r");
    DeleteFileA(path_.c_str());
}

std::string TraceCapture::Raw() const
{
    return ReadFileText(path_);
}

std::string TraceCapture::Text() const
{
    return WithoutCr(Raw());
}
