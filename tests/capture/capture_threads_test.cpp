// SPDX-License-Identifier: GPL-3.0-or-later
// The capture device with all its threads at full speed: the scripted source delivers as fast
// as the capture thread hands buffers back, and the reader drains as the main window does
// (on each message up to three blocks, then re-arm). Every byte must be read, in order, or
// be lost to an overflow.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "capture/capture.h"
#include "platform/headless/scripted_source.h"
#include "tests/capture/capture_test_support.h"

namespace {

constexpr int kBuffers = 3000;
constexpr size_t kStampBytes = 4;  // each buffer starts with its number

struct ReadLog {
    std::vector<uint32_t> numbers;  // buffer numbers in the order they were read
    int corrupted = 0;              // blocks whose bytes are not their buffer's
};

// Reads one block and logs it; false when no whole block is queued.
bool ReadBlock(ReadLog& log) {
    uint8_t block[kCaptureBufferSize];
    if (!TheCaptureDevice.Read(block, kCaptureBufferSize)) return false;
    uint32_t number = 0;
    std::memcpy(&number, block, kStampBytes);
    const size_t start = static_cast<size_t>(number) * kCaptureBufferSize + kStampBytes;
    if (number >= kBuffers ||
        !MatchesStream(block + kStampBytes, kCaptureBufferSize - kStampBytes, start)) {
        log.corrupted++;
    }
    log.numbers.push_back(number);
    return true;
}

TEST(CaptureThreadsTest, EveryDeliveredByteIsReadInOrderOrDroppedByAnOverflow) {
    std::vector<uint8_t> bytes(static_cast<size_t>(kBuffers) * kCaptureBufferSize);
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = StreamByte(i);
    for (uint32_t n = 0; n < kBuffers; n++) {
        std::memcpy(&bytes[static_cast<size_t>(n) * kCaptureBufferSize], &n, kStampBytes);
    }
    const std::vector<uint32_t> recorded(kBuffers, kCaptureBufferSize);

    ResetReaderWakes();
    SetScriptedInputPresent(true);
    PlayScriptedBuffers(nullptr, nullptr, 0);
    ASSERT_TRUE(OpenReaderDevice(ScriptedAudioSource));
    PlayScriptedBuffers(bytes.data(), recorded.data(), kBuffers);
    // The reader starts late, so the queue overflows at least once.
    ASSERT_TRUE(WaitForNotifications(kCaptureBufferCount + 5));

    ReadLog log;
    int seen = 0;
    while (NotificationCount() < kBuffers) {
        if (!WaitForReaderWakes(seen, 10)) continue;
        seen = ReaderWakes();
        for (int i = 0; i < 3 && TheCaptureDevice.AvailableBytes() >= 1024; i++) {
            if (!ReadBlock(log)) break;
        }
        ArmReader();
    }
    while (ReadBlock(log)) {
    }
    EXPECT_TRUE(TheCaptureDevice.Close());

    int overflows = 0;
    for (int i = 0; i < NotificationCount(); i++) {
        if (NotificationKind(i) == kCaptureOverflowed) overflows++;
    }
    // Each overflow drops its own buffer and, by resynchronizing, what was still unread: one
    // run of consecutive buffers. Anything missing elsewhere, repeated or out of order is a
    // fault.
    int gaps = 0;
    uint32_t expected = 0;
    for (uint32_t number : log.numbers) {
        ASSERT_GE(number, expected) << "a buffer read twice or out of order";
        if (number > expected) gaps++;
        expected = number + 1;
    }
    if (expected < kBuffers) gaps++;
    const int read = static_cast<int>(log.numbers.size());
    const int dropped = kBuffers - read;
    EXPECT_EQ(log.corrupted, 0);
    EXPECT_GE(overflows, 1);
    EXPECT_LE(gaps, overflows);
    EXPECT_GE(dropped, overflows);
    EXPECT_GT(read, 0);
    std::printf("delivered %d buffers: read %d, dropped %d in %d overflows (%d gaps)\n", kBuffers,
                read, dropped, overflows, gaps);
    ArmReader();
}

}  // namespace
