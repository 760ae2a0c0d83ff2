#ifndef KWRNDL_TRACE_TRACE_H
#define KWRNDL_TRACE_TRACE_H

// The process-wide diagnostic trace: one record per call, to the trace file
// when one is open, else to the debugger output.

enum {
    TraceLevelFailure = 1,
    TraceLevelInfo = 4,
};

extern const char TraceModuleName[];

struct TraceScope {
    const char *name;
    int savedActive;
    const char *module;
};

int TraceMessage(const char *module, int mask, int level, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
int TraceOpenFile(const char *name, const char *mode);
void TraceShutdown();

void TraceScopeOpen(TraceScope *scope, const char *module, const char *name);
void TraceScopeRelease(TraceScope *scope);

// The exit handler of the process scope; exposed so that a test can end the
// facility the way process exit does.
void TraceReleaseProcessScope();

#endif
