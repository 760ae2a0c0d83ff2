#include "guard/service_control.h"

#include "guard_fixture.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

namespace {

class GuardServices : public testing::Test {
protected:
    void TearDown() override
    {
        RemoveService(HandlerServiceName);
        RemoveService(GuardServiceName);
    }
};

enum Before { Missing, Stopped, Running, StartPending };

struct StopStartCase {
    const char *what;
    Before before;
    bool hold;
    int (*operation)();
    int result;
    const char *trace;
    DWORD after;  // the service's state once the operation has answered
};

const StopStartCase StopStartCases[] = {
    {"stop, no service", Missing, false, StopGuardHandlerService, 1,
     "OpenService was failed 1060\n", 0},
    {"start, no service", Missing, false, StartGuardHandlerService, 1,
     "OpenService was failed 1060\n", 0},
    {"stop, running", Running, false, StopGuardHandlerService, 1, "", SERVICE_STOPPED},
    {"stop, already stopped", Stopped, false, StopGuardHandlerService, 1,
     "Service was stopped\n", SERVICE_STOPPED},
    {"stop, stays stop pending", Running, true, StopGuardHandlerService, 0, "",
     SERVICE_STOP_PENDING},
    // Wine refuses a control that the service does not accept with 1052
    // (ERROR_INVALID_SERVICE_CONTROL), where Windows gives 1061.
    {"stop, still starting", StartPending, true, StopGuardHandlerService, 0,
     "Cannot stop service 1052\n", SERVICE_START_PENDING},
    {"start, stopped", Stopped, false, StartGuardHandlerService, 1, "StartService 1, error=0\n",
     SERVICE_RUNNING},
    {"start, already running", Running, false, StartGuardHandlerService, 0,
     "StartService 0, error=1056\n", SERVICE_RUNNING},
};

TEST_F(GuardServices, HandlerServiceStopAndStartAnswerByItsState)
{
    for (const StopStartCase &c : StopStartCases) {
        RemoveService(HandlerServiceName);
        if (c.before != Missing) {
            ASSERT_TRUE(InstallService(HandlerServiceName, TestServiceCommand(c.hold))) << c.what;
            if (c.before != Stopped) {
                ASSERT_TRUE(StartNamedService(HandlerServiceName))
                    << c.what << ": error " << GetLastError();
            }
            if (c.hold && c.before != Stopped) {
                ASSERT_TRUE(WaitForServiceState(HandlerServiceName, SERVICE_START_PENDING))
                    << c.what;
            }
            if (c.before == Running) {
                if (c.hold)
                    ReleaseHold();
                ASSERT_TRUE(WaitForServiceState(HandlerServiceName, SERVICE_RUNNING)) << c.what;
            }
        }

        TraceCapture capture;
        EXPECT_EQ(c.result, c.operation()) << c.what;
        EXPECT_EQ(c.trace, capture.Text()) << c.what;
        EXPECT_TRUE(WaitForServiceState(HandlerServiceName, c.after))
            << c.what << ": state " << ServiceState(HandlerServiceName);
    }
}

TEST_F(GuardServices, ActiveWhileStartingRunningOrContinuing)
{
    EXPECT_EQ(0, IsServiceActive("Kwrndl No Such Service"));

    ASSERT_TRUE(InstallService(GuardServiceName, TestServiceCommand(true)));
    const struct {
        const char *action;
        DWORD state;
        int active;
    } steps[] = {
        {"installed", SERVICE_STOPPED, 0},
        {"start", SERVICE_START_PENDING, 1},
        {"release", SERVICE_RUNNING, 1},
        {"pause", SERVICE_PAUSE_PENDING, 0},
        {"release", SERVICE_PAUSED, 0},
        {"continue", SERVICE_CONTINUE_PENDING, 1},
        {"release", SERVICE_RUNNING, 1},
        {"stop", SERVICE_STOP_PENDING, 0},
        {"release", SERVICE_STOPPED, 0},
    };
    for (const auto &step : steps) {
        std::string action = step.action;
        int sent = 1;
        if (action == "start")
            sent = StartNamedService(GuardServiceName);
        else if (action == "pause")
            sent = SendServiceControl(GuardServiceName, SERVICE_CONTROL_PAUSE);
        else if (action == "continue")
            sent = SendServiceControl(GuardServiceName, SERVICE_CONTROL_CONTINUE);
        else if (action == "stop")
            sent = SendServiceControl(GuardServiceName, SERVICE_CONTROL_STOP);
        else if (action == "release")
            ReleaseHold();
        ASSERT_TRUE(sent) << action << ": error " << GetLastError();
        ASSERT_TRUE(WaitForServiceState(GuardServiceName, step.state))
            << action << ": state " << ServiceState(GuardServiceName);
        EXPECT_EQ(step.active, IsServiceActive(GuardServiceName)) << action;
    }
}

TEST_F(GuardServices, NotActiveOn9xWhateverTheServiceDoes)
{
    ASSERT_TRUE(InstallService(GuardServiceName, TestServiceCommand(false)));
    ASSERT_TRUE(StartNamedService(GuardServiceName));
    ASSERT_TRUE(WaitForServiceState(GuardServiceName, SERVICE_RUNNING));

    const struct {
        bool win98;
        const char *answer;
    } cases[] = {{false, "1"}, {true, "0"}};
    for (const auto &c : cases) {
        std::string out, trace;
        ASSERT_TRUE(RunGuardProbe(c.win98, "active \"Kestrune Brisquall\"", &out, &trace));
        EXPECT_EQ(c.answer, out) << (c.win98 ? "win98" : "NT");
        EXPECT_EQ("", trace);
    }
}

}  // namespace
