// Host-build double of the trace facility: records go to memory, where
// TraceCapture reads them.
#include "trace_capture.h"

#include "trace/trace.h"

#include <cstdarg>
#include <cstdio>

const char TraceModuleName[] = "";

namespace {
std::string g_records;
}

int TraceMessage(const char *, int mask, int level, const char *format, ...)
{
    if (mask == 0 || level > 255)
        return 0;
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_records += line;
    return n;
}

int TraceOpenFile(const char *, const char *) { return 1; }
void TraceShutdown() {}

TraceCapture::TraceCapture() { g_records.clear(); }
TraceCapture::~TraceCapture() { g_records.clear(); }
std::string TraceCapture::Raw() const { return g_records; }
std::string TraceCapture::Text() const { return g_records; }
