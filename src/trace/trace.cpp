#include "trace/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char TraceModuleName[] = "";

namespace {

int g_active = 1;
int g_maskSetting = -1;
int g_levelLimit = 255;
char g_lineBuffer[1024];
FILE *g_traceFile = NULL;
char g_keptFileName[MAX_PATH];
CRITICAL_SECTION g_lock;
int g_lockInitialised = 0;
int g_scopeCount = 0;

TraceScope g_processScope;

void TraceLock()
{
    if (!g_lockInitialised) {
        InitializeCriticalSection(&g_lock);
        g_lockInitialised = 1;
    }
    EnterCriticalSection(&g_lock);
}

void TraceUnlock()
{
    if (g_lockInitialised)
        LeaveCriticalSection(&g_lock);
}

void TraceWrite()
{
    if (g_traceFile) {
        fputs(g_lineBuffer, g_traceFile);
        fflush(g_traceFile);
    } else {
        OutputDebugStringA(g_lineBuffer);
    }
}

int OpenProcessScope()
{
    TraceScopeOpen(&g_processScope, TraceModuleName, "*\n");
    atexit(TraceReleaseProcessScope);
    return 1;
}

// Runs before main: the facility must be usable from the first line of main
// and shut down after the last exit handler that main registers.
const int g_processScopeOpened = OpenProcessScope();

}  // namespace

int TraceMessage(const char *module, int mask, int level, const char *format, ...)
{
    (void)module;  // every module is let through
    if (!g_active)
        return 0;
    if ((mask & g_maskSetting) == 0)
        return 0;
    if (level > g_levelLimit)
        return 0;

    TraceLock();
    va_list args;
    va_start(args, format);
    // _vsnprintf leaves no terminator when the text fills the buffer.
    int n = _vsnprintf(g_lineBuffer, sizeof g_lineBuffer - 1, format, args);
    va_end(args);
    g_lineBuffer[sizeof g_lineBuffer - 1] = '\0';
    if (n < 0 && g_lineBuffer[0] == '\0')
        n = 0;
    TraceWrite();
    TraceUnlock();
    return n;
}

int TraceOpenFile(const char *name, const char *mode)
{
    if (g_traceFile && strcmp(name, g_keptFileName) == 0)
        return 1;
    if (g_traceFile) {
        fclose(g_traceFile);
        g_traceFile = NULL;
        g_keptFileName[0] = '\0';
    }
    FILE *file = fopen(name, mode);
    if (!file)
        return 0;
    g_traceFile = file;
    strncpy(g_keptFileName, name, sizeof g_keptFileName - 1);
    g_keptFileName[sizeof g_keptFileName - 1] = '\0';
    return 1;
}

void TraceShutdown()
{
    if (g_traceFile) {
        fflush(g_traceFile);
        fclose(g_traceFile);
        g_traceFile = NULL;
    }
    if (g_lockInitialised) {
        DeleteCriticalSection(&g_lock);
        g_lockInitialised = 0;
    }
}

void TraceScopeOpen(TraceScope *scope, const char *module, const char *name)
{
    scope->name = name;
    scope->module = module;
    scope->savedActive = 0;
    if (g_scopeCount == 0) {
        if (!g_lockInitialised) {
            InitializeCriticalSection(&g_lock);
            g_lockInitialised = 1;
        }
    } else {
        // Only inner scopes remember the flag; the first one restores "off".
        scope->savedActive = g_active;
    }
    ++g_scopeCount;
}

void TraceScopeRelease(TraceScope *scope)
{
    g_active = scope->savedActive;
    if (--g_scopeCount == 0)
        TraceShutdown();
}

void TraceReleaseProcessScope()
{
    if (g_processScopeOpened && g_scopeCount > 0)
        TraceScopeRelease(&g_processScope);
}
