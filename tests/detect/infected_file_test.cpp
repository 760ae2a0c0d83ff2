#include "console_capture.h"
#include "detect/infected_file.h"
#include "detect/signature.h"
#include "detect/walk.h"
#include "fixtures.h"
#include "run/counters.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>

namespace {

const uint32_t HostCut = 72192;

void Put32(std::vector<uint8_t> &data, uint32_t at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        data[at + k] = (uint8_t)(value >> (8 * k));
}

uint32_t Get32(const std::vector<uint8_t> &data, uint32_t at)
{
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k)
        value = (value << 8) | data[at + k];
    return value;
}

const uint32_t PeOffset = 0x80;
const uint32_t SavedEntryPoint = 0x1234;

// A host with the layout the repair expects: five section headers, the last
// three named UPX*, the saved record behind them, and a tail that matches
// the disinfectable row. Not a program; the repair never runs it.
std::vector<uint8_t> MakeInfectedHost(uint32_t size)
{
    std::vector<uint8_t> data(size, 0);
    for (uint32_t i = 0x400; i < size; ++i)
        data[i] = (uint8_t)(0x20 + (i * 11) % 89);
    data[0] = 'M';
    data[1] = 'Z';
    Put32(data, 60, PeOffset);
    memcpy(&data[PeOffset], "PE\0\0", 4);
    data[PeOffset + 6] = 5;
    Put32(data, PeOffset + 40, 0xBAD000);
    Put32(data, PeOffset + 80, 0x81000 + 0x6000);
    const char *names[5] = {".text", ".data", "UPX0", "UPX1", "UPX2"};
    uint32_t table = PeOffset + 248;
    for (int i = 0; i < 5; ++i)
        memcpy(&data[table + 40 * i], names[i], strlen(names[i]));
    uint32_t record = table + 40 * 5;
    Put32(data, record + 0, SavedEntryPoint);
    ForceSignatureRow(data, 4);
    return data;
}

struct Counts {
    int infections, reboots, failures;
    bool operator==(const Counts &o) const
    {
        return infections == o.infections && reboots == o.reboots && failures == o.failures;
    }
};

std::ostream &operator<<(std::ostream &out, const Counts &c)
{
    return out << "{infections " << c.infections << ", reboots " << c.reboots << ", failures "
               << c.failures << "}";
}

Counts ReadCounts()
{
    return {ReadCounter(&InfectionCount), ReadCounter(&RebootCount), ReadCounter(&FailureCount)};
}

Counts Since(const Counts &before)
{
    Counts now = ReadCounts();
    return {now.infections - before.infections, now.reboots - before.reboots,
            now.failures - before.failures};
}

std::string WithPath(const std::string &format, const std::string &path)
{
    std::string text = format;
    for (size_t at; (at = text.find("%s")) != std::string::npos; at += path.size())
        text.replace(at, 2, path);
    return text;
}

struct ActionRun {
    std::string console;
    std::string trace;
    Counts delta;
    int result;
};

ActionRun RunAction(WalkCallback action, const std::string &path, int isDirectory)
{
    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof entry);
    ActionRun run;
    Counts before = ReadCounts();
    TraceCapture trace;
    ConsoleCapture console;
    run.result = action(path.c_str(), &entry, isDirectory);
    run.console = console.Text();
    run.trace = trace.Text();
    run.delta = Since(before);
    return run;
}

// What stands on disk after an action.
enum HostAfter { Unchanged, Gone, Repaired, RenamedAside };

struct FileCase {
    const char *what;
    const char *name;
    std::function<std::vector<uint8_t>()> make;  // NULL: no such file
    const char *heldShare;   // another process holds the file so; NULL: not held
    bool repairDirectory;    // a directory stands where the repair file goes
    const char *report;      // ReportInfectedFile's console, %s the path
    const char *remove;      // RemoveInfectedFile's console
    Counts removeDelta;
    HostAfter after;
    bool repairFileLeft;
};

std::vector<uint8_t> Malware() { return MakeSignatureSample(0, 9000); }
std::vector<uint8_t> Host() { return MakeInfectedHost(90000); }

const FileCase FileCases[] = {
    {"malware", "mal.exe", Malware, NULL, false, "Infected: %s\n", "Infected: %s  Deleted\n",
     {1, 0, 0}, Gone, false},
    {"malware in use", "inuse.dll", Malware, "read", false, "Infected: %s\n",
     "Infected: %s  Deleted, reboot needed\n", {1, 1, 0}, Unchanged, false},
    {"host", "host.exe", Host, NULL, false, "Infected: %s\n", "Infected: %s  Disinfected\n",
     {1, 0, 0}, Repaired, false},
    {"host in use", "busy.exe", Host, "read", false, "Infected: %s\n",
     "Infected: %s  Disinfected, reboot needed\n", {1, 1, 0}, Unchanged, true},
    {"host too short for the repair", "short.e1", [] { return MakeInfectedHost(HostCut); },
     NULL, false, "Infected: %s\n",
     "Infected: %s  Disinfection failed, deleting file\nDeleted\n", {1, 0, 0}, Gone, false},
    {"host whose repair file cannot be made", "blocked.exe", Host, NULL, true, "Infected: %s\n",
     "Infected: %s  Disinfection failed, renaming file\nFile renamed\n", {1, 0, 0},
     RenamedAside, false},
    {"clean program", "clean.exe", [] { return std::vector<uint8_t>(5000, 0x4D); }, NULL, false,
     "", "", {0, 0, 0}, Unchanged, false},
    {"malware locked against readers", "locked.exe", Malware, "none", false,
     "Error scanning file %s\n", "Error scanning file %s\n", {0, 0, 0}, Unchanged, false},
    {"malware that is no candidate", "mal.ex_", Malware, NULL, false, "", "", {0, 0, 0},
     Unchanged, false},
    {"missing file", "gone.exe", nullptr, NULL, false, "Error scanning file %s\n",
     "Error scanning file %s\n", {0, 0, 0}, Unchanged, false},
};

class InfectedFile : public ::testing::Test {
protected:
    void SetUp() override { dir_ = FreshTestDir("infected_file"); }
    void TearDown() override { RemoveTree(dir_.substr(0, dir_.size() - 1)); }

    // Makes the case's file; returns its contents.
    std::vector<uint8_t> Prepare(const FileCase &c)
    {
        std::string path = dir_ + c.name;
        std::vector<uint8_t> data;
        if (c.make) {
            data = c.make();
            EXPECT_TRUE(WriteFileBytes(path, data)) << c.what;
        }
        if (c.repairDirectory) {
            EXPECT_TRUE(MakeDirs(path + ".dis")) << c.what;
        }
        return data;
    }

    std::string dir_;
};

TEST_F(InfectedFile, ReportOnlyTouchesNothing)
{
    for (const FileCase &c : FileCases) {
        std::string path = dir_ + c.name;
        std::vector<uint8_t> data = Prepare(c);
        std::unique_ptr<HeldFile> held;
        if (c.heldShare) {
            held.reset(new HeldFile(path, c.heldShare));
            ASSERT_TRUE(held->Held()) << c.what;
        }
        ActionRun run = RunAction(ReportInfectedFile, path, 0);
        held.reset();
        EXPECT_EQ(0, run.result) << c.what;
        EXPECT_EQ(WithPath(c.report, path), run.console) << c.what;
        EXPECT_EQ((Counts{c.report[0] == 'I' ? 1 : 0, 0, 0}), run.delta) << c.what;
        if (c.make) {
            EXPECT_EQ(data, ReadFileBytes(path)) << c.what;
        }
    }
}

TEST_F(InfectedFile, RemoveCleansByKind)
{
    for (const FileCase &c : FileCases) {
        std::string path = dir_ + c.name;
        std::string repairFile = path + ".dis";
        std::vector<uint8_t> data = Prepare(c);
        std::unique_ptr<HeldFile> held;
        if (c.heldShare) {
            held.reset(new HeldFile(path, c.heldShare));
            ASSERT_TRUE(held->Held()) << c.what;
        }
        ActionRun run = RunAction(RemoveInfectedFile, path, 0);
        held.reset();

        EXPECT_EQ(0, run.result) << c.what;
        EXPECT_EQ(WithPath(c.remove, path), run.console) << c.what;
        EXPECT_EQ(c.removeDelta, run.delta) << c.what;
        std::vector<uint8_t> now = ReadFileBytes(path);
        switch (c.after) {
        case Unchanged:
            if (c.make) {
                EXPECT_EQ(data, now) << c.what;
            }
            break;
        case Gone:
            EXPECT_FALSE(PathExists(path)) << c.what;
            break;
        case Repaired:
            ASSERT_EQ(data.size() - HostCut, now.size()) << c.what;
            EXPECT_EQ(SavedEntryPoint, Get32(now, PeOffset + 40)) << c.what;
            EXPECT_EQ(2, now[PeOffset + 6]) << c.what;
            EXPECT_NE(std::string::npos,
                      run.trace.find(WithPath("Replacing file \"%s.dis\"->\"%s\", result=1\n",
                                              path)))
                << run.trace;
            break;
        case RenamedAside: {
            std::string aside = path.substr(0, path.size() - 3) + "0xe";
            EXPECT_FALSE(PathExists(path)) << c.what;
            EXPECT_EQ(data, ReadFileBytes(aside)) << c.what;
            break;
        }
        }
        if (c.repairDirectory) {
            EXPECT_TRUE(PathExists(repairFile)) << c.what;
        } else {
            EXPECT_EQ(c.repairFileLeft, PathExists(repairFile)) << c.what;
        }
        if (c.repairFileLeft) {
            std::vector<uint8_t> copy = ReadFileBytes(repairFile);
            EXPECT_EQ(data.size() - HostCut, copy.size()) << c.what;
        }
    }
}

TEST_F(InfectedFile, DirectoriesAreOnlyReported)
{
    std::string path = dir_ + "sub.exe";
    ASSERT_TRUE(MakeDirs(path));
    for (WalkCallback action : {ReportInfectedFile, RemoveInfectedFile}) {
        ActionRun run = RunAction(action, path, 1);
        EXPECT_EQ(0, run.result);
        EXPECT_EQ(path + "\n", run.console);
        EXPECT_EQ(path + "\n", run.trace);
        EXPECT_EQ((Counts{0, 0, 0}), run.delta);
        EXPECT_TRUE(PathExists(path));
    }
}

// Wide API with \\?\ for directories of more than 248 characters.
bool MakeLongDir(const std::string &path)
{
    std::wstring wide = L"\\\\?\\" + std::wstring(path.begin(), path.end());
    return CreateDirectoryW(wide.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<std::string> Names(const std::string &dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// A host path with no room for ".dis" within 259 characters is renamed aside
// whole; no repair file is made under a cut name (which, at 259 characters,
// would be the host itself).
TEST_F(InfectedFile, HostPathTooLongForTheRepairFile)
{
    const size_t lengths[] = {256, 257, 259};
    for (size_t length : lengths) {
        std::string name = "h.exe";
        std::string longDir = dir_ + std::string(length - dir_.size() - 1 - name.size(), 'L');
        ASSERT_TRUE(MakeLongDir(longDir)) << GetLastError();
        std::string path = longDir + "\\" + name;
        ASSERT_EQ(length, path.size());
        std::vector<uint8_t> data = Host();
        ASSERT_TRUE(WriteFileBytes(path, data)) << length;

        ActionRun run = RunAction(RemoveInfectedFile, path, 0);
        EXPECT_EQ(WithPath("Infected: %s  Disinfection failed, renaming file\nFile renamed\n", path),
                  run.console)
            << length;
        EXPECT_EQ((Counts{1, 0, 0}), run.delta) << length;
        EXPECT_EQ(std::vector<std::string>{"h.0xe"}, Names(longDir)) << length;
        EXPECT_EQ(data, ReadFileBytes(longDir + "\\h.0xe")) << length;
        DeleteFileA((longDir + "\\h.0xe").c_str());
        std::wstring wide = L"\\\\?\\" + std::wstring(longDir.begin(), longDir.end());
        RemoveDirectoryW(wide.c_str());
    }
}

// The walk hands each entry to the action and goes on past a file that
// cannot be scanned.
TEST_F(InfectedFile, WalkGoesOnPastLockedFile)
{
    ASSERT_TRUE(WriteFileBytes(dir_ + "a_locked.exe", Malware()));
    ASSERT_TRUE(MakeDirs(dir_ + "b_dir"));
    ASSERT_TRUE(WriteFileBytes(dir_ + "b_dir\\inner.dll", Malware()));
    ASSERT_TRUE(WriteFileBytes(dir_ + "c_clean.exe", std::vector<uint8_t>(100, 1)));
    ASSERT_TRUE(WriteFileBytes(dir_ + "d_mal.exe", Malware()));
    HeldFile held(dir_ + "a_locked.exe", "none");
    ASSERT_TRUE(held.Held());

    Counts before = ReadCounts();
    std::string console;
    {
        ConsoleCapture capture;
        EXPECT_EQ(0, WalkDirectory(dir_.c_str(), ReportInfectedFile));
        console = capture.Text();
    }
    std::vector<std::string> lines;
    std::istringstream in(console);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected = {
        "Error scanning file " + dir_ + "a_locked.exe",
        "Infected: " + dir_ + "b_dir\\inner.dll",
        "Infected: " + dir_ + "d_mal.exe",
        dir_ + "b_dir",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, lines);
    EXPECT_EQ((Counts{2, 0, 0}), Since(before));
}

}  // namespace
