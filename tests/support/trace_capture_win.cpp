#include "trace_capture.h"

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
    std::string text;
    FILE *f = fopen(path_.c_str(), "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

std::string TraceCapture::Text() const
{
    std::string raw = Raw(), text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        text += raw[i];
    }
    return text;
}
