// SPDX-License-Identifier: GPL-3.0-or-later
// The capture device's rules: configuration, the open and close protocol, the byte queue,
// overflow, and the reader's notice. Buffers come from the scripted source.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "platform/headless/scripted_source.h"
#include "tests/capture/capture_test_support.h"

namespace {

TEST(CaptureConfigureTest, RejectsValuesOutsideTheRangesAndStoresNothing) {
    struct Case {
        unsigned priority;
        uint16_t count;
        unsigned size;
        uint16_t channels;
        unsigned rate;
        uint16_t bits;
    };
    const Case rejected[] = {
        {8, 20, 2048, 1, 22050, 16},            // priority above 7
        {3, 3, 2048, 1, 22050, 16},             // 3 buffers
        {3, 20, 79, 1, 22050, 16},              // 79-byte buffers
        {3, 20, 2048, 3, 22050, 16},            // 3 channels
        {3, 20, 2048, 0, 22050, 16},            // no channel
        {3, 20, 2048, 1, 22050, 24},            // 24 bits
        {3, 20, 2048, 1, 48000, 16},            // 48000 Hz
        {3, 65535, 0x10000000u, 1, 22050, 16},  // a ring beyond 32 bits
    };
    for (const Case& c : rejected) {
        CaptureDevice device;
        EXPECT_FALSE(device.Configure(RecordNotify, nullptr, c.priority, c.count, c.size,
                                      c.channels, c.rate, c.bits));
        EXPECT_FALSE(device.configured);
        EXPECT_EQ(device.bufferCount, 0);
        EXPECT_EQ(device.queueSize, 0u);
        EXPECT_EQ(device.format.nSamplesPerSec, 0u);
        EXPECT_EQ(device.notify, nullptr);
        EXPECT_EQ(device.threadPriority, kNormalThreadPriority);
    }
}

TEST(CaptureConfigureTest, FillsTheFormatOnceOnly) {
    CaptureDevice device;
    ASSERT_TRUE(device.Configure(RecordNotify, nullptr, 7, 4, 80, 2, 44100, 8));
    EXPECT_EQ(device.format.wFormatTag, 1);
    EXPECT_EQ(device.format.nChannels, 2);
    EXPECT_EQ(device.format.nBlockAlign, 2);
    EXPECT_EQ(device.format.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(device.format.cbSize, 0);
    EXPECT_EQ(device.queueSize, 320u);
    EXPECT_EQ(device.threadPriority, 7);

    EXPECT_FALSE(device.Configure(nullptr, nullptr, 3, 20, 2048, 1, 22050, 16));
    EXPECT_EQ(device.notify, RecordNotify);
    EXPECT_EQ(device.queueSize, 320u);
    EXPECT_EQ(device.format.nSamplesPerSec, 44100u);

    CaptureDevice program;
    ASSERT_TRUE(program.Configure(ReaderNotify, ReaderListening, 3, 20, 2048, 1, 22050, 16));
    EXPECT_EQ(program.format.nBlockAlign, 2);
    EXPECT_EQ(program.format.nAvgBytesPerSec, 44100u);
    EXPECT_EQ(program.queueSize, 40960u);
}

TEST(CaptureConfigureTest, TheRateChangesOnlyWhileClosedAndWithinTheProgramsRates) {
    CaptureDevice device;
    EXPECT_FALSE(device.SetRate(48000));  // not configured
    ASSERT_TRUE(device.Configure(RecordNotify, nullptr, 3, 20, 2048, 1, 22050, 16));
    for (unsigned rate : {48000u, 96000u, 8000u, 32000u, 88200u, 11025u, 44100u}) {
        ASSERT_TRUE(device.SetRate(rate)) << rate;
        EXPECT_EQ(device.format.nSamplesPerSec, rate);
        EXPECT_EQ(device.format.nAvgBytesPerSec, 2 * rate);
    }
    for (unsigned rate : {0u, 7999u, 96001u, 192000u}) {
        EXPECT_FALSE(device.SetRate(rate)) << rate;
        EXPECT_EQ(device.format.nSamplesPerSec, 44100u);
    }
}

// A device on the scripted source whose notifications are recorded.
class CaptureQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetAudioSource(&ScriptedAudioSource);
        SetScriptedInputPresent(true);
        PlayScriptedBuffers(nullptr, nullptr, 0);
        ResetNotifications();
    }
    void TearDown() override { device.Close(); }

    void Open(uint16_t count, unsigned size) {
        ASSERT_TRUE(device.Configure(RecordNotify, nullptr, 3, count, size, 1, 22050, 16));
        ASSERT_TRUE(device.Open());
    }

    // Returns `count` full buffers of the test stream, continuing where the last call ended,
    // and waits until the capture thread has handled them.
    void Deliver(int count) {
        std::vector<uint32_t> lengths(count, device.bufferSize);
        Deliver(lengths);
    }
    void Deliver(const std::vector<uint32_t>& recorded) {
        recordedCounts = recorded;
        scriptBytes.clear();
        for (uint32_t n : recorded) {
            for (uint32_t i = 0; i < std::min(n, device.bufferSize); i++) {
                scriptBytes.push_back(StreamByte(streamEnd++));
            }
        }
        const int expected = NotificationCount() + static_cast<int>(recorded.size());
        PlayScriptedBuffers(scriptBytes.data(), recordedCounts.data(),
                            static_cast<int>(recorded.size()));
        ASSERT_TRUE(WaitForNotifications(expected));
    }

    // Reads n bytes and checks that they continue the stream at `expectedStart`.
    void ExpectRead(unsigned n, size_t expectedStart) {
        std::vector<uint8_t> block(n);
        ASSERT_TRUE(device.Read(block.data(), n));
        EXPECT_TRUE(MatchesStream(block.data(), n, expectedStart))
            << "bytes from stream offset " << expectedStart;
    }

    // Bursts of one to four 2048-byte buffers, each read whole and checked before the next,
    // from a fresh opening.
    void DeliverAndReadBursts(int bursts) {
        size_t read = 0;
        for (int burst = 0; burst < bursts; burst++) {
            Deliver(burst % 4 + 1);
            while (device.AvailableBytes() > 0) {
                ExpectRead(2048, read);
                read += 2048;
            }
        }
        EXPECT_EQ(read, streamEnd);
    }

    CaptureDevice device;
    std::vector<uint8_t> scriptBytes;
    std::vector<uint32_t> recordedCounts;
    size_t streamEnd = 0;  // stream bytes delivered so far
};

TEST_F(CaptureQueueTest, OpenNeedsConfigureAndAClosedDevice) {
    EXPECT_FALSE(device.Open());
    EXPECT_FALSE(device.Close());  // no capture thread
    Open(20, 2048);
    EXPECT_FALSE(device.Open());
    EXPECT_TRUE(device.Close());
    EXPECT_FALSE(device.Close());
}

TEST_F(CaptureQueueTest, OpenWithoutInputFailsAndReleasesEverything) {
    ASSERT_TRUE(device.Configure(RecordNotify, nullptr, 3, 20, 2048, 1, 22050, 16));
    SetScriptedInputPresent(false);
    EXPECT_FALSE(device.Open());
    EXPECT_FALSE(device.thread.joinable());
    EXPECT_EQ(device.bufferMemory, nullptr);
    EXPECT_EQ(device.waveIn, nullptr);
    SetAudioSource(nullptr);
    EXPECT_FALSE(device.Open());

    SetAudioSource(&ScriptedAudioSource);
    SetScriptedInputPresent(true);
    ASSERT_TRUE(device.Open());
    Deliver(1);
    ExpectRead(2048, 0);
}

TEST_F(CaptureQueueTest, CloseJoinsTheCaptureThreadAndReopenStartsAfresh) {
    static std::atomic<bool> entered;
    static std::atomic<bool> finished;
    entered = false;
    finished = false;
    ASSERT_TRUE(device.Configure(
        [](int) {
            entered = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            finished = true;
        },
        nullptr, 3, 20, 2048, 1, 22050, 16));
    ASSERT_TRUE(device.Open());
    const uint32_t one[] = {2048};
    std::vector<uint8_t> bytes(2048, 7);
    PlayScriptedBuffers(bytes.data(), one, 1);
    while (!entered)
        std::this_thread::yield();
    EXPECT_TRUE(device.Close());
    EXPECT_TRUE(finished);  // Close waited for the thread to leave the notification
    EXPECT_FALSE(device.thread.joinable());
    EXPECT_EQ(device.AvailableBytes(), 0u);
    uint8_t block[2048];
    EXPECT_FALSE(device.Read(block, 2048));  // the ring is gone

    ASSERT_TRUE(device.Open());
    EXPECT_EQ(ScriptedBuffersQueued(), 20);
}

TEST_F(CaptureQueueTest, ShortReadConsumesNothing) {
    Open(20, 1024);
    uint8_t block[2048];
    EXPECT_FALSE(device.Read(block, 2048));  // not positioned yet
    Deliver(1);
    EXPECT_EQ(device.AvailableBytes(), 1024u);
    EXPECT_FALSE(device.Read(block, 2048));
    EXPECT_FALSE(device.Read(nullptr, 1024));
    EXPECT_EQ(device.AvailableBytes(), 1024u);
    ExpectRead(1024, 0);
    EXPECT_EQ(device.AvailableBytes(), 0u);
}

TEST_F(CaptureQueueTest, ReadsAcrossTheRingEndInOrder) {
    Open(4, 1000);  // a ring of 4000 bytes
    Deliver(4);
    ExpectRead(1500, 0);
    ExpectRead(1500, 1500);
    Deliver(2);  // into slots 0 and 1
    EXPECT_EQ(device.AvailableBytes(), 3000u);
    ExpectRead(1500, 3000);  // 1000 bytes from the end, 500 from the start
    ExpectRead(1500, 4500);
    Deliver(2);
    ExpectRead(2000, 6000);  // ends exactly at the ring's end
    Deliver(1);
    ExpectRead(1000, 8000);  // starts there with an empty first piece
    EXPECT_EQ(device.AvailableBytes(), 0u);
}

TEST_F(CaptureQueueTest, ShortBuffersArePaddedToWholeSlots) {
    Open(20, 2048);
    Deliver(std::vector<uint32_t>{1000});
    EXPECT_EQ(device.AvailableBytes(), 2048u);
    uint8_t block[2048];
    ASSERT_TRUE(device.Read(block, 2048));
    EXPECT_TRUE(MatchesStream(block, 1000, 0));
    EXPECT_EQ(std::vector<uint8_t>(block + 1000, block + 2048), std::vector<uint8_t>(1048, 0));

    // A source claiming more than the buffer holds is held to the buffer's length.
    Deliver(std::vector<uint32_t>{5000, 2048});
    EXPECT_EQ(device.AvailableBytes(), 4096u);
    ExpectRead(2048, 1000);
    ExpectRead(2048, 3048);
}

TEST_F(CaptureQueueTest, OverflowDropsTheBufferStopsAndResynchronizeStartsAfresh) {
    Open(20, 2048);
    Deliver(21);
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(NotificationKind(i), kCaptureDataQueued);
    EXPECT_EQ(NotificationKind(20), kCaptureOverflowed);
    EXPECT_EQ(device.AvailableBytes(), 40960u);
    EXPECT_EQ(ScriptedBuffersQueued(), 20);  // the dropped buffer was queued again

    // Recording has stopped: a further buffer waits until it restarts.
    const uint32_t one[] = {2048};
    std::vector<uint8_t> next(2048);
    for (size_t i = 0; i < next.size(); i++)
        next[i] = StreamByte(21 * 2048 + i);
    PlayScriptedBuffers(next.data(), one, 1);
    EXPECT_FALSE(WaitScriptedBuffersDelivered(30));

    device.Resynchronize();
    ASSERT_TRUE(WaitForNotifications(22));
    EXPECT_EQ(NotificationKind(21), kCaptureDataQueued);
    EXPECT_EQ(device.AvailableBytes(), 2048u);
    ExpectRead(2048, 21 * 2048);
}

// After a dropped buffer the source's buffers are one ahead of the ring; a read that makes
// room restarts recording, and what follows must land after the unread bytes, not on them.
TEST_F(CaptureQueueTest, ReadRestartsAfterOverflowAndKeepsTheOrder) {
    Open(20, 2048);
    Deliver(21);  // buffer 21 (stream block 20) is dropped
    ExpectRead(2048, 0);
    EXPECT_FALSE(device.overflowStopped);
    Deliver(1);
    EXPECT_EQ(device.AvailableBytes(), 40960u);
    for (size_t block = 1; block < 20; block++)
        ExpectRead(2048, block * 2048);
    ExpectRead(2048, 21 * 2048);
    EXPECT_EQ(device.AvailableBytes(), 0u);
}

// A reader woken by the notice may drain at once and ask whether the file has finished
// (nothing on its way), so the handled buffer must have left the message queue.
TEST_F(CaptureQueueTest, NoticeComesAfterTheBufferHasLeftTheMessageQueue) {
    static CaptureDevice* notified;
    static std::atomic<int> messagesAtNotice;
    notified = &device;
    messagesAtNotice = -1;
    ASSERT_TRUE(device.Configure(
        [](int) {
            std::lock_guard<std::mutex> guard(notified->messages.mutex);
            messagesAtNotice = static_cast<int>(notified->messages.count);
            RecordNotify(kCaptureDataQueued);
        },
        nullptr, 3, 20, 2048, 1, 22050, 16));
    ASSERT_TRUE(device.Open());
    Deliver(1);
    EXPECT_EQ(messagesAtNotice, 0);
    ExpectRead(2048, 0);
}

// The capture thread has no timer: it sleeps until a buffer or the stop comes, and each wakes
// it. Bursts of one to four buffers arrive whole and in order; while nothing comes the thread
// stays asleep (one that looked at its messages every few milliseconds would wake some twenty
// times in the idle span); the stop alone ends its wait. The restart after an overflow stop
// without a timer is OverflowDropsTheBufferStopsAndResynchronizeStartsAfresh.
TEST_F(CaptureQueueTest, SleepsUntilABufferOrTheStopComes) {
    static std::atomic<long> captureThread;
    captureThread = -1;
    ASSERT_TRUE(device.Configure(
        [](int kind) {
            captureThread = CurrentThreadId();
            RecordNotify(kind);
        },
        nullptr, 3, 20, 2048, 1, 22050, 16));
    ASSERT_TRUE(device.Open());
    DeliverAndReadBursts(40);

    const long before = ThreadSleeps(captureThread);
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // At most its way into the wait after the last buffer: a lock taken on the way, the wait.
    EXPECT_LE(ThreadSleeps(captureThread) - before, 3);

    EXPECT_TRUE(device.Close());
    EXPECT_FALSE(device.thread.joinable());
}

// The scripted source handing its buffers over as the sound server's source does: through the
// client's takeBuffer, on the source's own thread.
// The next `count` buffers it hands over go together (`more` set on all but the last).
int handedTogether = 0;

const AudioSource& HandingOverSource() {
    static void (*takeBuffer)(void*, WaveHeader*, bool) = nullptr;
    static const AudioSource source = {
        [](const WaveFormat& format, const AudioSourceClient& client) {
            takeBuffer = client.takeBuffer;
            auto handOver = [](void* context, WaveHeader* header) {
                const bool more = handedTogether > 1;
                if (handedTogether > 0) handedTogether--;
                takeBuffer(context, header, more);
            };
            return ScriptedAudioSource.open(
                format, AudioSourceClient{client.context, handOver, client.readerDrained, nullptr});
        },
        ScriptedAudioSource.addBuffer,
        ScriptedAudioSource.start,
        ScriptedAudioSource.stop,
        ScriptedAudioSource.reset,
        ScriptedAudioSource.close,
        ScriptedAudioSource.setFragment,
    };
    return source;
}

// A source that hands its buffers over needs no capture thread for them: each goes into the
// queue at once, in order, and the notice comes from the source's thread. Overflow stops the
// source from inside the hand-over, Resynchronize restarts it, and Close still drains: a
// buffer coming back while it closes is dropped, and the device opens afresh afterwards.
TEST_F(CaptureQueueTest, ASourceThatHandsBuffersOverKeepsTheOrderWithoutTheCaptureThread) {
    static std::atomic<int> onCaptureThread;
    static CaptureDevice* notified;
    onCaptureThread = 0;
    notified = &device;
    SetAudioSource(&HandingOverSource());
    ASSERT_TRUE(device.Configure(
        [](int kind) {
            if (std::this_thread::get_id() == notified->threadId) onCaptureThread++;
            RecordNotify(kind);
        },
        nullptr, 3, 20, 2048, 1, 22050, 16));
    ASSERT_TRUE(device.Open());
    DeliverAndReadBursts(20);

    Deliver(21);
    EXPECT_EQ(NotificationKind(NotificationCount() - 1), kCaptureOverflowed);
    EXPECT_TRUE(device.overflowStopped);
    EXPECT_EQ(ScriptedBuffersQueued(), 20);
    const int before = NotificationCount();
    device.Resynchronize();
    const uint32_t one[] = {2048};
    std::vector<uint8_t> next(2048, 5);
    PlayScriptedBuffers(next.data(), one, 1);
    ASSERT_TRUE(WaitForNotifications(before + 1));
    EXPECT_EQ(device.AvailableBytes(), 2048u);
    EXPECT_EQ(onCaptureThread, 0);

    PlayScriptedBuffers(next.data(), one, 1);  // may come back while the device closes
    EXPECT_TRUE(device.Close());
    EXPECT_FALSE(device.Read(next.data(), 2048));
    PlayScriptedBuffers(nullptr, nullptr, 0);  // nothing left over for the next opening
    ASSERT_TRUE(device.Open());
    EXPECT_EQ(ScriptedBuffersQueued(), 20);
    EXPECT_TRUE(device.Close());
}

// A reader that is slow to drain: the queue overflows, the reader is re-armed and the queue
// discarded, and recording starts afresh with a fresh wake-up.
// The delivery size is asked of the source in bytes, only while open and within the queue;
// every opening starts again at one buffer, whatever was asked before.
// Buffers handed over together each go into the queue at once, and the reader hears of them
// once, after the last.
TEST_F(CaptureQueueTest, BuffersHandedOverTogetherAreNotifiedOnceAfterTheLast) {
    SetAudioSource(&HandingOverSource());
    Open(20, 2048);
    handedTogether = 4;
    std::vector<uint8_t> bytes(4 * 2048);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = StreamByte(i);
    const std::vector<uint32_t> recorded(4, 2048);
    PlayScriptedBuffers(bytes.data(), recorded.data(), 4);
    ASSERT_TRUE(WaitForNotifications(1));
    EXPECT_EQ(device.AvailableBytes(), 4u * 2048);
    ASSERT_TRUE(WaitScriptedBuffersDelivered(kPatientWaitMs));
    EXPECT_EQ(NotificationCount(), 1);
    EXPECT_EQ(NotificationKind(0), kCaptureDataQueued);
    std::vector<uint8_t> read(4 * 2048);
    ASSERT_TRUE(device.Read(read.data(), 4 * 2048));
    EXPECT_TRUE(MatchesStream(read.data(), read.size(), 0));
}

TEST(CaptureReaderTest, FragmentsAreAskedWhileOpenWithinTheQueueAndEachOpeningStartsAtOne) {
    SetScriptedInputPresent(true);
    PlayScriptedBuffers(nullptr, nullptr, 0);
    EXPECT_FALSE(TheCaptureDevice.SetFragmentBuffers(2));  // closed
    ASSERT_TRUE(OpenReaderDevice(ScriptedAudioSource));
    EXPECT_TRUE(TheCaptureDevice.SetFragmentBuffers(16));
    EXPECT_EQ(ScriptedFragmentBytes(), 16u * kCaptureBufferSize);
    EXPECT_FALSE(TheCaptureDevice.SetFragmentBuffers(0));
    EXPECT_FALSE(TheCaptureDevice.SetFragmentBuffers(kCaptureBufferCount + 1u));
    EXPECT_TRUE(TheCaptureDevice.SetFragmentBuffers(kCaptureBufferCount));
    EXPECT_EQ(TheCaptureDevice.fragmentBuffers, kCaptureBufferCount);
    EXPECT_TRUE(TheCaptureDevice.Close());
    EXPECT_EQ(TheCaptureDevice.fragmentBuffers, 1u);
    ASSERT_TRUE(OpenReaderDevice(ScriptedAudioSource));
    EXPECT_EQ(ScriptedFragmentBytes(), 0u);  // nothing asked of the new opening
    EXPECT_TRUE(TheCaptureDevice.Close());
}

TEST(CaptureReaderTest, OverflowRearmsTheReaderAndDiscardsTheQueue) {
    ResetReaderWakes();
    SetScriptedInputPresent(true);
    PlayScriptedBuffers(nullptr, nullptr, 0);
    ASSERT_TRUE(OpenReaderDevice(ScriptedAudioSource));
    const int overflowing = kCaptureBufferCount + 1;  // the queue's buffers and one more
    std::vector<uint8_t> bytes((overflowing + 1) * 2048);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = StreamByte(i);
    const std::vector<uint32_t> recorded(overflowing + 1, 2048);
    PlayScriptedBuffers(bytes.data(), recorded.data(), overflowing);
    ASSERT_TRUE(WaitForNotifications(overflowing));
    EXPECT_EQ(ReaderWakes(), 1);  // only the first buffer woke it: nobody re-armed
    EXPECT_TRUE(ReaderListening());
    EXPECT_FALSE(ProgramDevicePositioned());
    EXPECT_FALSE(TheCaptureDevice.overflowStopped);

    // Recording runs again and the next buffer starts a fresh queue, with a fresh wake-up.
    PlayScriptedBuffers(bytes.data() + overflowing * 2048, recorded.data(), 1);
    ASSERT_TRUE(WaitForNotifications(overflowing + 1));
    EXPECT_EQ(ReaderWakes(), 2);
    EXPECT_EQ(TheCaptureDevice.AvailableBytes(), 2048u);
    uint8_t block[2048];
    ASSERT_TRUE(TheCaptureDevice.Read(block, 2048));
    EXPECT_TRUE(MatchesStream(block, 2048, overflowing * 2048));
    EXPECT_TRUE(TheCaptureDevice.Close());
    ArmReader();
}

}  // namespace
