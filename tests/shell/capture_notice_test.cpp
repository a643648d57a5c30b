// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the capture notice: one message 960 outstanding at a time, and an
// overflow that re-arms it.
#include <gtest/gtest.h>

#include <algorithm>

#include "capture/audio_source.h"
#include "capture/capture.h"
#include "shell/capture_notice.h"
#include "tests/shell/fake_window.h"

namespace {

int CaptureMessagesPosted() {
    return static_cast<int>(std::count_if(
        FakeWindow.posted.begin(), FakeWindow.posted.end(),
        [](const PostedMessage& posted) { return posted.message == kWaveInDataMessage; }));
}

TEST(CaptureNoticeTest, PostsOneMessageUntilRearmed) {
    ResetFakeWindow();
    ArmCaptureNotify();
    OnCaptureNotify(kCaptureDataQueued);
    EXPECT_EQ(CaptureMessagesPosted(), 1);
    EXPECT_FALSE(CaptureReaderListening());
    OnCaptureNotify(kCaptureDataQueued);  // disarmed: nothing
    OnCaptureNotify(0);
    OnCaptureNotify(3);
    EXPECT_EQ(CaptureMessagesPosted(), 1);
    ArmCaptureNotify();
    EXPECT_TRUE(CaptureReaderListening());
    OnCaptureNotify(kCaptureDataQueued);
    EXPECT_EQ(CaptureMessagesPosted(), 2);
    ArmCaptureNotify();
}

// After an overflow the queue is discarded, so the window must hear of the next buffer even
// though its message for the dropped ones is still outstanding.
TEST(CaptureNoticeTest, AnOverflowRearmsTheNotice) {
    ResetFakeWindow();
    ArmCaptureNotify();
    OnCaptureNotify(kCaptureDataQueued);
    ASSERT_FALSE(CaptureReaderListening());
    OnCaptureNotify(kCaptureOverflowed);
    EXPECT_TRUE(CaptureReaderListening());
    EXPECT_EQ(CaptureMessagesPosted(), 1);  // the overflow itself posts nothing
    OnCaptureNotify(kCaptureDataQueued);
    EXPECT_EQ(CaptureMessagesPosted(), 2);
    ArmCaptureNotify();
}

// The window that the message wakes re-arms under the notice's lock once it has drained; were
// the lock still held by the poster, it would go to sleep again on it.
TEST(CaptureNoticeTest, PostsWithItsLockReleased) {
    ResetFakeWindow();
    ArmCaptureNotify();
    bool lockFree = false;
    FakeWindow.onPost = [&lockFree](unsigned) {
        lockFree = notifyLock.try_lock();
        if (lockFree) notifyLock.unlock();
    };
    OnCaptureNotify(kCaptureDataQueued);
    EXPECT_EQ(CaptureMessagesPosted(), 1);
    EXPECT_TRUE(lockFree);
    FakeWindow.onPost = nullptr;
    ArmCaptureNotify();
}

}  // namespace
