// SPDX-License-Identifier: GPL-3.0-or-later
// The first paint starts capture, and capture notices drain the queue into the block
// pipeline: catch-up, at most three blocks, output skipped while a backlog remains; the full
// view's catch-up by time; large deliveries, read whole, while the picture stands still.
// Recorded through the scripted source, so these run the capture and source threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "platform/headless/display_memory.h"
#include "platform/headless/scripted_source.h"
#include "raster/display.h"
#include "resources/resources.h"
#include "shell/capture_notice.h"
#include "shell/host.h"
#include "shell/main_window.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/shell/fake_window.h"
#include "tests/shell/shell_test_support.h"

namespace {

constexpr int kPatientWaitMs = 60000;

bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatientWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class DrainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFakeWindow();
        UseSettingsPath("");
        StartCore();
        SetScriptedInputPresent(true);
        SetAudioSource(&ScriptedAudioSource);
    }
    void TearDown() override { TheCaptureDevice.Close(); }

    // Starts capture as the first paint does; one block already fed makes every later
    // block due for output.
    void StartCapture() {
        const int16_t silence[1024] = {};
        ProcessBlock(silence, 1024, false);
        ASSERT_EQ(MainWindowProc(MainWindow, WM_PAINT, 0, 0), 0);
        ASSERT_TRUE(MainWindowState.captureStarted);
    }
    // Leaves `total` bytes queued: whole buffers are recorded, then the odd bytes that
    // exceed `total` are read away, as a reader taking part of a block would.
    void Queue(unsigned total) {
        const unsigned buffers = (total + kCaptureBufferSize - 1) / kCaptureBufferSize;
        bytes.assign(buffers * kCaptureBufferSize, 0);
        counts.assign(buffers, kCaptureBufferSize);
        const unsigned held = TheCaptureDevice.AvailableBytes() + buffers * kCaptureBufferSize;
        PlayScriptedBuffers(bytes.data(), counts.data(), static_cast<int>(buffers));
        ASSERT_TRUE(WaitScriptedBuffersDelivered(kPatientWaitMs));
        ASSERT_TRUE(WaitFor([held] { return TheCaptureDevice.AvailableBytes() == held; }));
        std::vector<uint8_t> away(buffers * kCaptureBufferSize - total);
        if (!away.empty()) {
            ASSERT_TRUE(TheCaptureDevice.Read(away.data(), unsigned(away.size())));
        }
    }
    // Handles one capture notice; returns the blocks processed and the frames presented.
    std::pair<long long, int> Drain() {
        const long long blocks = BlockCounter.blocks;
        const int frames = MemoryDisplay.framesPresented;
        MainWindowProc(MainWindow, kWaveInDataMessage, 0, 0);
        return {BlockCounter.blocks - blocks, MemoryDisplay.framesPresented - frames};
    }
    // The full view takes the blocks from now on, counted by fullBlocks and fullOutputs.
    static void CountFullBlocks() {
        fullBlocks = fullOutputs = 0;
        PictureModeState.consumeFullBlock = [](const int16_t*, int, bool skipOutput) {
            fullBlocks++;
            fullOutputs += skipOutput ? 0 : 1;
        };
        ASSERT_TRUE(SetPictureMode(PictureMode::kFull));
    }
    static void StopCountingFullBlocks() {
        SetPictureMode(PictureMode::kHandheld);
        PictureModeState.consumeFullBlock = nullptr;
    }
    static int fullBlocks;
    static int fullOutputs;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> counts;
};
int DrainTest::fullBlocks = 0;
int DrainTest::fullOutputs = 0;

bool Armed() {
    std::lock_guard<std::mutex> guard(notifyLock);
    return notifyArmed;
}

TEST_F(DrainTest, FirstPaintStartsCaptureOnceWithTheSpectrogramTitle) {
    StartCapture();
    EXPECT_EQ(FakeWindow.titles, (std::vector<std::string>{"Quillo-SA:Spectrogram"}));
    EXPECT_TRUE(FakeWindow.messageBoxes.empty());
    EXPECT_NE(TheCaptureDevice.waveIn, nullptr);
    MainWindowProc(MainWindow, WM_PAINT, 0, 0);  // later paints start nothing
    EXPECT_EQ(FakeWindow.titles.size(), 1u);
}

TEST_F(DrainTest, WithoutInputTheProgramSaysSoAndCloses) {
    SetScriptedInputPresent(false);
    MainWindowProc(MainWindow, WM_PAINT, 0, 0);
    ASSERT_EQ(FakeWindow.messageBoxes.size(), 1u);
    EXPECT_EQ(FakeWindow.messageBoxes[0].text, "Sound input failed!");
    EXPECT_EQ(FakeWindow.messageBoxes[0].caption, "Fatal error");
    EXPECT_EQ(FakeWindow.messageBoxes[0].icon, kMessageBoxExclamation);
    EXPECT_EQ(PostedCount(WM_CLOSE), 1u);
    DeliverPostedMessages();
    EXPECT_TRUE(FakeWindow.windowDestroyed);
    EXPECT_EQ(FakeWindow.quitCode, 0);
}

TEST_F(DrainTest, LessThanABlockProcessesNothingAndReArms) {
    StartCapture();
    Queue(2047);
    EXPECT_EQ(Drain(), std::make_pair(0LL, 0));
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 2047u);
    EXPECT_TRUE(Armed());
}

TEST_F(DrainTest, ThreeBlocksTheFirstOnlyFeedingTheRing) {
    StartCapture();
    Queue(6144);
    EXPECT_EQ(Drain(), std::make_pair(3LL, 2));
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 0u);
    EXPECT_TRUE(Armed());
}

TEST_F(DrainTest, JustBelowTheCatchUpThreeBlocksOnlyRecord) {
    StartCapture();
    Queue(17406);
    EXPECT_EQ(Drain(), std::make_pair(3LL, 0));
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 11262u);
}

TEST_F(DrainTest, ABacklogOfTenBlocksIsDroppedWhole) {
    StartCapture();
    Queue(20480);
    const long long dropped = BlockCounter.dropped;
    EXPECT_EQ(Drain(), std::make_pair(0LL, 0));
    EXPECT_EQ(BlockCounter.dropped - dropped, 10);
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 0u);
    EXPECT_TRUE(Armed());
}

// The full view, at 48000 Hz, keeps a backlog the handheld picture drops and reads it all at
// one notice, only the last two due for output (as ever); 0.4 s of backlog is dropped whole.
TEST_F(DrainTest, TheFullViewCatchesUpByTime) {
    CountFullBlocks();
    StartCapture();
    ASSERT_EQ(TheCaptureDevice.format.nSamplesPerSec, 48000u);
    const long long dropped = BlockCounter.dropped;
    Queue(18 * 2048);  // 0.38 s
    Drain();
    EXPECT_EQ(fullBlocks, 18);
    EXPECT_EQ(fullOutputs, 2);
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 0u);
    Queue(19 * 2048);  // 0.41 s
    Drain();
    EXPECT_EQ(fullBlocks, 18);
    EXPECT_EQ(BlockCounter.dropped - dropped, 19);
    StopCountingFullBlocks();
}

int Rows(const std::string& log) {
    const std::string text = ReadTextFile(log);
    return int(std::count(text.begin(), text.end(), '\n')) - 1;  // less the header
}

// Paused, the source is asked for deliveries of 0.75 s (16 buffers at 22050 Hz), and each is
// read whole: every block analysed and logged, none dropped, nothing presented, the level
// meter not told. Pressed again, it is asked for one buffer; the last large delivery is
// still read whole (and now presented), and after it the catch-up drops a backlog as ever.
TEST_F(DrainTest, PausedLargeDeliveriesAreAnalysedWholeAndTheCatchUpReturnsAfterThem) {
    static int told;
    told = 0;
    PictureModeState.levelMeasured = [] { told++; };
    StartCapture();
    ASSERT_TRUE(AnalyzerSettings.pitchTrackingOn);
    const std::string log = NewSettingsPath();
    ASSERT_TRUE(OpenPitchLog(log.c_str()));
    const long long dropped = BlockCounter.dropped;

    MainWindowProc(MainWindow, WM_COMMAND, kCommandPause, 0);
    EXPECT_EQ(ScriptedFragmentBytes(), 16u * 2048);
    Queue(16 * 2048);
    EXPECT_EQ(Drain(), std::make_pair(16LL, 0));
    EXPECT_EQ(told, 0);

    MainWindowProc(MainWindow, WM_COMMAND, kCommandPause, 0);
    EXPECT_EQ(ScriptedFragmentBytes(), 2048u);
    Queue(16 * 2048);
    EXPECT_EQ(Drain(), std::make_pair(16LL, 16));
    EXPECT_EQ(told, 16);
    Queue(10 * 2048);
    EXPECT_EQ(Drain(), std::make_pair(0LL, 0));
    EXPECT_EQ(BlockCounter.dropped - dropped, 10);

    ASSERT_TRUE(ClosePitchLog());
    EXPECT_EQ(Rows(log), 32);
    PictureModeState.levelMeasured = nullptr;
}

// The full view hidden at 48000 Hz: deliveries of 35 buffers, more than its catch-up drops
// while shown, are read whole; only the newest blocks are drawn, as ever.
TEST_F(DrainTest, TheFullViewHiddenReadsItsLargeDeliveriesWhole) {
    CountFullBlocks();
    StartCapture();
    MainWindowProc(MainWindow, WM_ACTIVATE, 0, 0);
    EXPECT_EQ(ScriptedFragmentBytes(), 35u * 2048);
    const long long dropped = BlockCounter.dropped;
    Queue(35 * 2048);
    Drain();
    EXPECT_EQ(fullBlocks, 35);
    EXPECT_EQ(fullOutputs, 2);
    EXPECT_EQ(BlockCounter.dropped, dropped);
    MainWindowProc(MainWindow, WM_ACTIVATE, 1, 0);
    EXPECT_EQ(ScriptedFragmentBytes(), 2048u);
    StopCountingFullBlocks();
}

TEST_F(DrainTest, NoticesArePostedOnceUntilReArmed) {
    StartCapture();
    auto onePosted = [] { return PostedCount(kWaveInDataMessage) == 1; };
    Queue(4096);  // two buffers, one notice
    ASSERT_TRUE(WaitFor(onePosted));
    DeliverPostedMessages();
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 0u);
    EXPECT_EQ(PostedCount(kWaveInDataMessage), 0u);
    Queue(2048);  // re-armed by the draining: a new notice
    ASSERT_TRUE(WaitFor(onePosted));
}

}  // namespace
