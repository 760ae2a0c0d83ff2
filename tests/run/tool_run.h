#ifndef KWRNDL_TESTS_TOOL_RUN_H
#define KWRNDL_TESTS_TOOL_RUN_H

#include <windows.h>

#include <string>
#include <vector>

// One whole run of a k-wrndl build: its console output (as written, CR LF),
// exit code, and what it appended to k-wrndl.log in the Windows directory.
struct ToolRun {
    bool ended;
    std::string console;
    DWORD exitCode;
    std::string traceBefore;
    std::string traceAdded;
};

ToolRun RunTool(const std::string &exe, const std::string &arguments,
                const char *currentDirectory = NULL);

// The two banner lines, "\n" line ends.
std::string Banner();

// Console lines between the banner and the outcome, sorted: the walk goes in
// the file system's own order.
std::vector<std::string> MiddleLines(const std::string &console);

std::vector<std::string> SortedLines(std::vector<std::string> lines);

#endif
