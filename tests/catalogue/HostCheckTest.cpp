#include <gtest/gtest.h>

#include "catalogue/HostCheck.h"
#include "doubles/ProcessDouble.h"

namespace {

TEST(HostCheck, AnyNameHoldingAcadExeInAnyCaseIsTheHost) {
    const struct {
        std::vector<std::string> names;
        bool running;
    } cases[] = {
        {{}, false},
        {{"explorer.exe", "acad.ex", "acadlt.exe", "acad"}, false},
        {{"explorer.exe", "ACAD.EXE"}, true},
        {{"Acad.Exe"}, true},
        {{"myacad.exe"}, true},
        {{"acad.exe.old"}, true},
        {{"中文acad.exe"}, true},
        {{"\xC1\x41\x43\x41\x44.exe"}, false},  // "ACAD" behind a lead byte is not ASCII text
    };
    for (const auto& c : cases) {
        ProcessDouble processes;
        processes.names = c.names;
        EXPECT_EQ(IsHostRunning(processes), c.running) << testing::PrintToString(c.names);
        EXPECT_EQ(processes.openSnapshots, 0);
    }
}

TEST(HostCheck, StopsAtTheFirstMatch) {
    ProcessDouble processes;
    processes.names = {"system", "acad.exe", "ACAD.EXE", "other.exe"};
    EXPECT_TRUE(IsHostRunning(processes));
    EXPECT_EQ(processes.entriesRead, 2);
    EXPECT_EQ(processes.openSnapshots, 0);
}

TEST(HostCheck, NoSnapshotMeansNoHost) {
    ProcessDouble processes;
    processes.names = {"acad.exe"};
    processes.snapshotAvailable = false;
    EXPECT_FALSE(IsHostRunning(processes));
    EXPECT_EQ(processes.snapshotsTaken, 1);
}

}  // namespace
