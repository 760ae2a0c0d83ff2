#include "guard/driver_messages.h"
#include "guard/registry_name.h"

#include "guard_fixture.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

typedef std::vector<std::string> Lines;

const char DeviceNameKey[] = "Software\\Vantorel\\Kestrune\\Brisquall";

Lines Join(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The plain switch command, over the given opening of the NT device.
Lines PlainSwitch(int opening, char digit)
{
    std::string n = "NT#" + std::to_string(opening) + " ";
    std::string command = digit == '1' ? "0007E800 in=31 00" : "0007E800 in=30 00";
    return {n + "open share=3 overlapped", n + command, n + "close"};
}

// Runs k-wrndl.exe on an empty folder; its log is read back from the start
// of this run.
void RunTool(ProgramResult *result, std::string *log)
{
    std::string dir = FreshTestDir("guard-run");
    std::string logPath = WindowsDir() + "\\k-wrndl.log";
    DeleteFileA(logPath.c_str());
    ASSERT_TRUE(RunProgram("\"" + BinPath("k-wrndl.exe") + "\" " + dir, result));
    std::string raw = ReadFileText(logPath);
    log->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            *log += raw[i];
    }
}

bool EndsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string &text, const std::string &head)
{
    return text.compare(0, head.size(), head) == 0;
}

// Without the driver and the handler service.
class GuardAbsent : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveReferenceGuard();
        RemoveService(HandlerServiceName);
    }
};

TEST_F(GuardAbsent, SwitchLeavesTraceLinesOnly)
{
    for (int state : {0, 1}) {
        TraceCapture capture;
        SwitchGuard(state);
        EXPECT_EQ("Cannot open BQ error=2\nOpenService was failed 1060\n", capture.Text())
            << "state " << state;
    }
}

TEST_F(GuardAbsent, SettingChangeOn9xWithoutDevice)
{
    std::string out, trace;
    ASSERT_TRUE(RunGuardProbe(true, "switch 0", &out, &trace));
    EXPECT_EQ("Cannot open BQ error=2\n", trace);

    ASSERT_TRUE(RunGuardProbe(true, "setting 1", &out, &trace));
    EXPECT_EQ("1", out);
    EXPECT_EQ("Cannot open BQ error=2\n", trace);
}

TEST_F(GuardAbsent, RunEndsAsWithoutAnyGuard)
{
    ProgramResult result;
    std::string log;
    RunTool(&result, &log);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(EndsWith(result.out, CrLf("No infections found.\n"))) << result.out;
    const std::string absent = "Cannot open BQ error=2\nOpenService was failed 1060\n";
    EXPECT_TRUE(StartsWith(log, "K-Wrndl v2.00.5230\n" + absent)) << log;
    EXPECT_TRUE(EndsWith(log, absent + "Exiting, return value 0\n")) << log;
}

// With the reference guard driver and the handler service installed.
class GuardInstalled : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_ready = InstallReferenceGuard() &&
                  InstallService(HandlerServiceName, TestServiceCommand(false));
    }
    static void TearDownTestSuite()
    {
        RemoveService(HandlerServiceName);
        RemoveReferenceGuard();
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_ready) << "reference guard or handler service not installed";
    }
    static void SetHandlerRunning(bool running)
    {
        if (running && ServiceState(HandlerServiceName) != SERVICE_RUNNING)
            StartNamedService(HandlerServiceName);
        if (!running && ServiceState(HandlerServiceName) != SERVICE_STOPPED)
            SendServiceControl(HandlerServiceName, SERVICE_CONTROL_STOP);
        ASSERT_TRUE(WaitForServiceState(HandlerServiceName,
                                        running ? SERVICE_RUNNING : SERVICE_STOPPED));
    }
    static bool s_ready;
};

bool GuardInstalled::s_ready = false;

struct SwitchCase {
    const char *what;
    int state;
    unsigned answer;       // GuardAnswer*
    unsigned pendRequest;  // the n-th request the guard leaves pending
    Lines exchange;        // the confirmed exchange, after the plain switch
    const char *trace;
};

const SwitchCase SwitchCases[] = {
    {"off, confirmed", 0, GuardAnswerState, 0,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=30 00", "NT#2 0007F010 out=2",
      "NT#2 close"},
     ""},
    {"on, confirmed", 1, GuardAnswerState, 0,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=31 00", "NT#2 0007F010 out=2",
      "NT#2 close"},
     "StartService 1, error=0\n"},
    {"off, other state answered", 0, GuardAnswerOther, 0,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=30 00", "NT#2 0007F010 out=2",
      "NT#2 0007C454 in=00 00 00 00", "NT#2 close"},
     "BQ 5.4x communication successful\n"},
    {"on, other state answered", 1, GuardAnswerOther, 0,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=31 00", "NT#2 0007F010 out=2",
      "NT#2 0007C454 in=01 00 00 00", "NT#2 close"},
     "BQ 5.4x communication successful\nStartService 1, error=0\n"},
    {"off, preset 0xABCD left", 0, GuardAnswerNothing, 0,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=30 00", "NT#2 0007F010 out=2",
      "NT#2 0007C454 in=00 00 00 00", "NT#2 close"},
     "BQ 5.4x communication successful\n"},
    {"on, preset 0xABCD left", 1, GuardAnswerNothing, 0,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=31 00", "NT#2 0007F010 out=2",
      "NT#2 0007C454 in=01 00 00 00", "NT#2 close"},
     "BQ 5.4x communication successful\nStartService 1, error=0\n"},
    // A pending request is cancelled before the record is used again.
    {"off, first phase pending", 0, GuardAnswerState, 2,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=30 00 pending", "NT#2 cancel 0007E800",
      "NT#2 0007C454 in=00 00 00 00", "NT#2 close"},
     "BQ communication error in first phase 000003E5\nBQ 5.4x communication successful\n"},
    {"on, second phase pending", 1, GuardAnswerState, 3,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=31 00", "NT#2 0007F010 out=2 pending",
      "NT#2 cancel 0007F010", "NT#2 0007C454 in=01 00 00 00", "NT#2 close"},
     "BQ communication error in second phase 000003E5\nBQ 5.4x communication successful\n"
     "StartService 1, error=0\n"},
    {"off, legacy switch pending", 0, GuardAnswerOther, 4,
     {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=30 00", "NT#2 0007F010 out=2",
      "NT#2 0007C454 in=00 00 00 00 pending", "NT#2 cancel 0007C454", "NT#2 close"},
     "BQ 5.4x communication error in first phase 000003E5\n"},
};

TEST_F(GuardInstalled, NtSwitchSendsItsMessagesInOrderThenTheServiceStep)
{
    for (const SwitchCase &c : SwitchCases) {
        SetHandlerRunning(c.state == 0);
        ASSERT_TRUE(ResetReferenceGuard(c.answer, c.pendRequest, c.state ? 0 : 1)) << c.what;

        TraceCapture capture;
        SwitchGuard(c.state);

        EXPECT_EQ(Join({PlainSwitch(1, c.state ? '1' : '0'), c.exchange}),
                  DescribeReferenceGuard())
            << c.what;
        EXPECT_EQ(c.trace, capture.Text()) << c.what;
        EXPECT_TRUE(WaitForServiceState(HandlerServiceName,
                                        c.state ? SERVICE_RUNNING : SERVICE_STOPPED))
            << c.what << ": state " << ServiceState(HandlerServiceName);
    }
}

TEST_F(GuardInstalled, PlainSwitchAnswersByTheLastError)
{
    const struct {
        const char *device;
        int result;
        Lines record;
    } cases[] = {
        {"\\\\.\\KRBrisquallDev", 1, {"NT#1 open share=3 overlapped", "NT#1 0007E800 in=30 00"}},
        // The test-only control device refuses the switch command.
        {REFERENCE_GUARD_CONTROL_PATH, 0, Lines()},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(ResetReferenceGuard());
        HANDLE device = CreateFileA(c.device, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, device) << c.device << ": error " << GetLastError();
        EXPECT_EQ(c.result, SendGuardSwitch(device, 0)) << c.device;
        EXPECT_EQ(c.record, DescribeReferenceGuard()) << c.device;
        CloseHandle(device);
    }
}

TEST_F(GuardInstalled, RunSwitchesOffBeforeTheSweepAndOnAfterTheWalk)
{
    SetHandlerRunning(true);
    // Unconfirmed switches leave a trace line each, which places them in the log.
    ASSERT_TRUE(ResetReferenceGuard(GuardAnswerOther));

    ProgramResult result;
    std::string log;
    RunTool(&result, &log);

    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(EndsWith(result.out, CrLf("No infections found.\n"))) << result.out;
    Lines legacyOff = {"NT#2 open share=3 overlapped", "NT#2 0007E800 in=30 00",
                       "NT#2 0007F010 out=2", "NT#2 0007C454 in=00 00 00 00", "NT#2 close"};
    Lines legacyOn = {"NT#4 open share=3 overlapped", "NT#4 0007E800 in=31 00",
                      "NT#4 0007F010 out=2", "NT#4 0007C454 in=01 00 00 00", "NT#4 close"};
    EXPECT_EQ(Join({PlainSwitch(1, '0'), legacyOff, PlainSwitch(3, '1'), legacyOn}),
              DescribeReferenceGuard());
    EXPECT_TRUE(StartsWith(log, "K-Wrndl v2.00.5230\nBQ 5.4x communication successful\n")) << log;
    EXPECT_TRUE(EndsWith(log, "BQ 5.4x communication successful\nStartService 1, error=0\n"
                              "Exiting, return value 0\n"))
        << log;
    EXPECT_TRUE(WaitForServiceState(HandlerServiceName, SERVICE_RUNNING))
        << "state " << ServiceState(HandlerServiceName);
}

struct DeviceNameCase {
    const char *what;
    DWORD type;   // 0: no value
    const char *data;
    DWORD size;
    const char *device;
};

const DeviceNameCase DeviceNameCases[] = {
    {"no value", 0, NULL, 0, "ZEM"},
    {"BQ95", REG_SZ, "BQ95", 5, "BQ95"},
    {"BQ95 stored without its NUL", REG_SZ, "BQ95", 4, "BQ95"},
    {"lower case", REG_SZ, "bq95", 5, "ZEM"},
    {"trailing space", REG_SZ, "BQ95 ", 6, "ZEM"},
    {"15 characters", REG_SZ, "BQ95BQ95BQ95BQ9", 16, "ZEM"},
    {"16 characters", REG_SZ, "BQ95BQ95BQ95BQ95", 17, "ZEM"},
    {"16 bytes, no NUL", REG_BINARY, "BQ95xxxxxxxxxxxx", 16, "ZEM"},
};

TEST_F(GuardInstalled, On9xTheRegistryNamesTheDevice)
{
    for (const DeviceNameCase &c : DeviceNameCases) {
        ASSERT_TRUE(SetMachineValue(DeviceNameKey, "DeviceName", c.type, c.data, c.size))
            << c.what;
        ASSERT_TRUE(ResetReferenceGuard()) << c.what;
        std::string out, trace;
        ASSERT_TRUE(RunGuardProbe(true, "open", &out, &trace)) << c.what;
        EXPECT_EQ("opened", out) << c.what;
        std::string n = std::string(c.device) + "#1 ";
        EXPECT_EQ(Lines({n + "open share=0 delete-on-close", n + "close"}),
                  DescribeReferenceGuard())
            << c.what;
    }
    SetMachineValue(DeviceNameKey, "DeviceName", 0, NULL, 0);
}

TEST_F(GuardInstalled, On9xTheSwitchAndTheSettingChangeGoToTheirDevices)
{
    ASSERT_TRUE(SetMachineValue(DeviceNameKey, "DeviceName", REG_SZ, "BQ95", 5));
    ASSERT_TRUE(ResetReferenceGuard());
    std::string out, trace;
    ASSERT_TRUE(RunGuardProbe(true, "switch 1", &out, &trace));
    SetMachineValue(DeviceNameKey, "DeviceName", 0, NULL, 0);

    // The NT I/O manager refuses the setting change on a handle opened
    // without access (error 5) before the guard sees it; what it carries is
    // checked where it is built.
    EXPECT_EQ(Lines({"BQ95#1 open share=0 delete-on-close", "BQ95#1 00000200 in=31 00",
                     "BQ95#1 close", "krbq95#2 open share=0 overlapped", "krbq95#2 close"}),
              DescribeReferenceGuard());
    EXPECT_EQ("Setting change status =0 error=5\n", trace);
}

struct RegistryCase {
    const char *name;
    DWORD size;
    int result;
    std::string data;  // on 0: what the buffer starts with
};

class RegistryValue : public testing::Test {
protected:
    void SetUp() override
    {
        const DWORD number = 0x01020304;
        ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, "Software\\KwrndlGuardTest", "Text", "abc"));
        ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, "Software\\KwrndlGuardTest", "", "dflt"));
        ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, "Software\\KwrndlGuardTest", "Long", "abcdefgh"));
        ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, "Software\\KwrndlGuardTest", "Number", NULL,
                             REG_DWORD, &number, sizeof number));
        ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, NULL, "KwrndlGuardRootValue", "root"));
        ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, "Software\\KwrndlGuardTest", "Text", "lm"));
        ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, "KwrndlGuardTest", "Text", "cr"));
        ASSERT_TRUE(SetValue(HKEY_USERS, ".DEFAULT\\Software\\KwrndlGuardTest", "Text", "u"));
    }
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KwrndlGuardTest");
        RegDeleteValueA(HKEY_CURRENT_USER, "KwrndlGuardRootValue");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\KwrndlGuardTest");
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "KwrndlGuardTest");
        RegDeleteKeyA(HKEY_USERS, ".DEFAULT\\Software\\KwrndlGuardTest");
    }
    static bool SetValue(HKEY root, const char *key, const char *value, const char *text,
                         DWORD type = REG_SZ, const void *data = NULL, DWORD size = 0)
    {
        HKEY handle = root;
        if (key != NULL && RegCreateKeyExA(root, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &handle,
                                           NULL) != ERROR_SUCCESS)
            return false;
        if (text != NULL) {
            data = text;
            size = (DWORD)strlen(text) + 1;
        }
        LONG status = RegSetValueExA(handle, value, 0, type, (const BYTE *)data, size);
        if (handle != root)
            RegCloseKey(handle);
        return status == ERROR_SUCCESS;
    }
};

TEST_F(RegistryValue, ReadsTheValueTheTextNames)
{
    const RegistryCase cases[] = {
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\\\Text", 16, RegistryValueRead,
         std::string("abc", 4)},
        {"hkey_current_user\\software\\kwrndlguardtest\\\\Text  ", 16, RegistryValueRead,
         std::string("abc", 4)},
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\\\", 16, RegistryValueRead,
         std::string("dflt", 5)},
        {"HKEY_CURRENT_USER\\\\KwrndlGuardRootValue", 16, RegistryValueRead,
         std::string("root", 5)},
        {"HKEY_LOCAL_MACHINE\\Software\\KwrndlGuardTest\\\\Text", 16, RegistryValueRead,
         std::string("lm", 3)},
        {"HKEY_CLASSES_ROOT\\KwrndlGuardTest\\\\Text", 16, RegistryValueRead,
         std::string("cr", 3)},
        {"HKEY_USERS\\.DEFAULT\\Software\\KwrndlGuardTest\\\\Text", 16, RegistryValueRead,
         std::string("u", 2)},
        // The type is not checked: the bytes come as the registry holds them.
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\\\Number", 16, RegistryValueRead,
         std::string("\x04\x03\x02\x01", 4)},
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\\\Long", 9, RegistryValueRead,
         std::string("abcdefgh", 9)},
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\\\Long", 8, RegistryValueTooLong, ""},
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\\\Missing", 16, RegistryValueNotRead, ""},
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardNoSuchKey\\\\Text", 16, RegistryKeyNotOpened,
         ""},
        {"HKEY_CURRENT_USER\\Software\\KwrndlGuardTest\\Text", 16, RegistryNameMalformed, ""},
        {"HKCU\\Software\\KwrndlGuardTest\\\\Text", 16, RegistryNameMalformed, ""},
    };
    for (const RegistryCase &c : cases) {
        unsigned char buffer[32];
        memset(buffer, 0xEE, sizeof buffer);
        EXPECT_EQ(c.result, ReadRegistryValue(buffer, c.size, c.name)) << c.name;
        EXPECT_EQ(c.data, std::string((const char *)buffer, c.data.size())) << c.name;
        for (size_t i = c.size; i < sizeof buffer; ++i)
            ASSERT_EQ(0xEE, buffer[i]) << c.name << ": written past the size at " << i;
    }
}

}  // namespace
