#ifndef KWRNDL_TESTS_CONSOLE_CAPTURE_H
#define KWRNDL_TESTS_CONSOLE_CAPTURE_H

#include <string>

// Collects what this process writes to standard output while it lives: the
// actions print through printf, so file descriptor 1 is pointed at a
// scratch file and put back afterwards.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture &) = delete;
    ConsoleCapture &operator=(const ConsoleCapture &) = delete;

    // The output so far, line ends as "\n".
    std::string Text() const;

private:
    std::string path_;
    int savedStdout_;
    int file_;
};

#endif
