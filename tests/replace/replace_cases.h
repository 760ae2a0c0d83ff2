#ifndef KWRNDL_TESTS_REPLACE_CASES_H
#define KWRNDL_TESTS_REPLACE_CASES_H

#include "replace_test_support.h"

#include <memory>
#include <string>
#include <vector>

// The files a ReplaceFile case starts from, made for real in a fresh
// directory of the test prefix.

enum Entry {
    Absent,
    Plain,          // a file nobody holds
    Directory,
    ReadOnly,       // deleting it is refused with access denied
    HeldRead,       // open in another process that shares reading only
    HeldExclusive,  // open in another process that shares nothing
    Running,        // the program file of a running process
    Device,         // the name NUL, which opens as the null device
    TooLong,        // a name that no 264-byte path buffer holds
};

const char SourceText[] = "source";
const char DestinationText[] = "destination";

#define RF "[KRSC - ReplaceFile]: "
#define AF "[KRSC - AddFileToAutomaticRenameList]: "
#define EXISTS(p) "[KRSC - FileExist]: File " p " exists.\n"
#define MISSING(p) "[KRSC - FileExist]: File " p " does not exist.\n"
#define NT_ADMIN_SCHEDULED AF "System is NT.\n" AF "User is admin.\n" AF "Operation is executed during reboot.\n"
#define NT_NOT_ADMIN_REFUSED AF "System is NT.\n" AF "User is not admin.\n" AF "No admin rights, no BQ -> No renaming at reboot.\n"

// A path in dir for the entry; "src" or "dest" tell the two apart.
std::string EntryPath(const std::string &dir, Entry entry, const char *role);

// Makes the entry at path with text; holders keep the processes that hold
// it. false when it could not be made.
bool MakeEntry(Entry entry, const std::string &path, const char *text,
               std::vector<std::unique_ptr<HeldFile>> *holders);

// What is at path now: its text, "<dir>", or "<absent>".
std::string Describe(const std::string &path);

struct ReplaceCase {
    const char *what;
    Entry src;
    Entry dest;  // not made for a deletion
    bool rename;
    int result;
    const char *trace;  // "{s}" and "{d}" stand for the two paths
    std::vector<std::string> pending;  // PendingFileRenameOperations after it
    const char *srcAfter;  // "*": not looked at
    const char *destAfter;
};

// Makes the case's files in dir (ending in a backslash), runs ReplaceFile
// on them and checks result, trace, pending operations and files.
void RunReplaceCase(const std::string &dir, const ReplaceCase &c);

struct ReportCase {
    const char *what;
    Entry src;
    Entry dest;
    bool rename;
    int result;
    const char *console;
    int reboots;   // what RebootCount gains
    int failures;  // what FailureCount gains
};

// The same through DeleteWithReport or ReplaceWithReport: the console
// text, the counters and the trace line of the result.
void RunReportCase(const std::string &dir, const ReportCase &c);

#endif
