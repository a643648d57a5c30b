// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's rules as the shared source thread keeps them, seen through the scripted source.
#include <gtest/gtest.h>

#include <numeric>

#include "platform/headless/scripted_source.h"
#include "tests/platform/audio/audio_test_support.h"

namespace {

TEST(ScriptedSourceTest, FillsQueuedBuffersInOrderOnItsOwnThreadAndResetReturnsTheRest) {
    SetScriptedInputPresent(true);
    CollectingClient collector(ScriptedAudioSource, 3, 16);
    ASSERT_TRUE(ScriptedAudioSource.open(WaveFormat{}, collector.Client()));
    collector.AddAll();
    uint8_t bytes[80];
    std::iota(bytes, bytes + 80, 0);
    const uint32_t recorded[] = {16, 16, 10, 16, 16};
    PlayScriptedBuffers(bytes, recorded, 5);
    EXPECT_FALSE(collector.WaitForReturned(1, 20));  // not started
    ScriptedAudioSource.start();
    ASSERT_TRUE(collector.WaitForReturned(3, kPatientWaitMs));
    collector.AddAll();  // the rest of the script goes into buffers 0 and 1
    ASSERT_TRUE(collector.WaitForReturned(5, kPatientWaitMs));
    EXPECT_EQ(collector.Order(), (std::vector<uintptr_t>{0, 1, 2, 0, 1}));
    EXPECT_EQ(collector.Recorded(), (std::vector<uint32_t>{16, 16, 10, 16, 16}));
    EXPECT_EQ(collector.Bytes(), std::vector<uint8_t>(bytes, bytes + 74));
    EXPECT_TRUE(collector.ReturnedOnOtherThreads(std::this_thread::get_id()));

    ScriptedAudioSource.stop();
    PlayScriptedBuffers(bytes, recorded, 1);
    EXPECT_FALSE(collector.WaitForReturned(6, 20));  // stopped
    ScriptedAudioSource.reset();
    ASSERT_TRUE(collector.WaitForReturned(6, kPatientWaitMs));
    EXPECT_EQ(collector.Order().back(), 2u);  // the buffer still queued, unfilled
    EXPECT_EQ(collector.Recorded().back(), 0u);
    ScriptedAudioSource.close();
    EXPECT_EQ(collector.Returned(), 6);

    SetScriptedInputPresent(false);
    EXPECT_FALSE(ScriptedAudioSource.open(WaveFormat{}, collector.Client()));
    SetScriptedInputPresent(true);
}

}  // namespace
