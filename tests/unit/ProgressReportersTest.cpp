#include "app/ProgressReporters.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressReporters, PrerequisiteDownloadsShareTheBar)
{
    EXPECT_EQ(25, PrereqDownloadPosition(1000, 500, 2, 0));
    EXPECT_EQ(100, PrereqDownloadPosition(1000, 1000, 2, 1));
    EXPECT_EQ(0, PrereqDownloadPosition(1000, 0, 3, 0));
    EXPECT_EQ(34, PrereqDownloadPosition(3, 1, 1, 0));                  // 33.33 rounds up
    EXPECT_EQ(100, PrereqDownloadPosition(100, 150, 1, 0));             // more than announced
    EXPECT_EQ(67, PrereqDownloadPosition(0xFFFFFFFFu, 0xFFFFFFFFu, 3, 1));
}

TEST(ProgressReporters, ApplicationBarCountsBytesAndStopsAtHundred)
{
    EXPECT_EQ(10, AppDownloadPosition(0, 100, 1000));
    EXPECT_EQ(11, AppDownloadPosition(1, 100, 1000));
    EXPECT_EQ(100, AppDownloadPosition(900, 100, 1000));
    EXPECT_EQ(100, AppDownloadPosition(5000, 100, 1000));   // a file larger than its manifest says
}

TEST(ProgressReporters, InstallationsShareTheBarAndMayReachHundredAndOne)
{
    EXPECT_EQ(101, PrereqInstallPosition(100, 3, 2));   // 67 + 34
    EXPECT_EQ(0, PrereqInstallPosition(0, 3, 0));
    EXPECT_EQ(50, PrereqInstallPosition(100, 2, 0));
    EXPECT_EQ(75, PrereqInstallPosition(50, 2, 1));
}

}  // namespace
