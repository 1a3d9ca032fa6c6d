// The dialog and its worker for real (a window on the test display), with the operating
// system's answers from the fake platform.
#include "app/WorkerUi.h"

#include "support/FakePlatform.h"
#include "support/RecordingTracker.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallerDialog, AFailureIsShownThenReportedThenEndsTheDialog)
{
    FakePlatform platform;
    platform.comResult = S_FALSE;
    ScopedFakePlatform scoped(platform);
    RecordingDialog dialog;
    size_t boxesBeforeEvent = 0;
    dialog.Tracker().onEvent = [&](const RecordingTracker::Event&) { boxesBeforeEvent = platform.MessageBoxes().size(); };

    EXPECT_EQ(IDCANCEL, dialog.DoModal());

    const auto boxes = platform.MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Can not initialize COM.", boxes[0].text);
    EXPECT_EQ(L"fetchwright_tests", boxes[0].caption);   // the executable's name
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes[0].type);
    EXPECT_NE(nullptr, boxes[0].owner);
    const std::vector<RecordingTracker::Event> expected{{L"Exception", L"Can not initialize COM."}};
    EXPECT_EQ(expected, dialog.Tracker().Events());
    EXPECT_EQ(1u, boxesBeforeEvent);
    // COM answered S_FALSE, so it was started and must be stopped again.
    EXPECT_EQ(1, platform.ComUninitializations());
}

TEST(InstallerDialog, NothingOfTheWorkerReachesTheDialogAfterCancel)
{
    RecordingDialog dialog;
    const CWorkerUi ui(&dialog);
    ui.SendEvent(L"Before");
    CancelRun();
    ui.SendEvent(L"After");
    EXPECT_TRUE(ui.IsCancelled());
    EXPECT_EQ(nullptr, ui.GetOwner());
    EXPECT_EQ(std::vector<std::wstring>{L"Before"}, dialog.Tracker().Categories());
}

}  // namespace
