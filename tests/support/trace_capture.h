#ifndef KWRNDL_TESTS_TRACE_CAPTURE_H
#define KWRNDL_TESTS_TRACE_CAPTURE_H

#include <string>

// Collects the trace records written while it lives. Under Wine it points
// the real facility at a scratch file; in the host build it reads the
// in-memory double.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    // The records so far, line ends as "\n".
    std::string Text() const;
    // As stored (CR LF in a Windows text file).
    std::string Raw() const;

private:
    std::string path_;
};

#endif
