#include "trace/trace.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

TEST(Trace, ExitingLineIsStoredWithCrLf)
{
    TraceCapture capture;
    TraceMessage(TraceModuleName, -1, 4, "Exiting, return value %d\n", 1);
    EXPECT_EQ("Exiting, return value 1\r\n", capture.Raw());
}
