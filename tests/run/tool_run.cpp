#include "tool_run.h"

#include "test_support.h"

#include <algorithm>

ToolRun RunTool(const std::string &exe, const std::string &arguments,
                const char *currentDirectory)
{
    ToolRun run;
    std::string log = WindowsDir() + "\\k-wrndl.log";
    run.traceBefore = ReadFileText(log);
    ProgramResult result;
    run.ended = RunProgram("\"" + exe + "\" " + arguments, &result, 600000, currentDirectory);
    run.console = result.out;
    run.exitCode = result.exitCode;
    std::string after = ReadFileText(log);
    if (after.compare(0, run.traceBefore.size(), run.traceBefore) == 0)
        run.traceAdded = after.substr(run.traceBefore.size());
    else
        run.traceAdded = "<log was not appended to>\n" + after;
    return run;
}

std::string Banner()
{
    return "Wrendal (Quorfex) Removal Tool ver 2.00.5230\n"
           "Published by the K-Wrndl developers, free of charge and without warranty.\n";
}

std::vector<std::string> MiddleLines(const std::string &console)
{
    std::vector<std::string> lines;
    std::string banner = CrLf(Banner());
    if (console.compare(0, banner.size(), banner) != 0)
        return lines;
    size_t at = banner.size();
    while (at < console.size()) {
        size_t end = console.find("\r\n", at);
        if (end == std::string::npos)
            end = console.size();
        lines.push_back(console.substr(at, end - at));
        at = end + 2;
    }
    // The outcome lines close the output; everything before is the walk's.
    while (!lines.empty()) {
        const std::string &last = lines.back();
        if (last.find("Infections were found") == 0 || last.find("No infections found") == 0 ||
            last.find("Restarting the computer") == 0 || last.find("Please restart") == 0)
            lines.pop_back();
        else
            break;
    }
    return SortedLines(lines);
}

std::vector<std::string> SortedLines(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}
