// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone source, through PortAudio and ALSA, on a machine without a sound card: a
// .asoundrc under a temporary HOME points ALSA's capture devices at raw files (the `file`
// plugin with `infile` over the `null` device), so the PortAudio path itself runs. That input
// is not paced: it arrives as fast as PortAudio reads it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "tests/capture/capture_test_support.h"
#include "tests/platform/audio/audio_test_support.h"

namespace {

constexpr int kRampSamples = 100000;
constexpr int kFirstOffset = 0;       // the default device's ramp starts here
constexpr int kSecondOffset = 12345;  // the named device's

// Sample k of a ramp file: distinct over any run we read.
int16_t RampSample(int offset, int k) {
    return static_cast<int16_t>((offset + k) % 30000);
}

class MicrophoneTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        home = AudioTestFolder() + "alsa_home";
        mkdir(home.c_str(), 0700);
        for (int offset : {kFirstOffset, kSecondOffset}) {
            std::vector<int16_t> ramp(kRampSamples);
            for (int k = 0; k < kRampSamples; k++)
                ramp[k] = RampSample(offset, k);
            std::ofstream(RampPath(offset), std::ios::binary)
                .write(reinterpret_cast<const char*>(ramp.data()), ramp.size() * 2);
        }
        setenv("HOME", home.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        // No sound server answers here, so the microphone falls back to PortAudio.
        setenv("PULSE_SERVER", ("unix:" + home + "/no-server").c_str(), 1);
    }
    void TearDown() override { SetMicrophoneName(nullptr); }

    static std::string RampPath(int offset) {
        return home + "/ramp" + std::to_string(offset) + ".raw";
    }
    // A capture device reading the ramp file.
    static std::string FileDevice(const std::string& name, int offset) {
        return "pcm." + name + " { type file; slave.pcm \"null\"; file \"/dev/null\"; infile \"" +
               RampPath(offset) + "\"; format \"raw\" }\n";
    }
    // PortAudio reads the ALSA configuration anew at each open.
    static void Configure(const std::string& text) { std::ofstream(home + "/.asoundrc") << text; }

    static std::string home;
};
std::string MicrophoneTest::home;

WaveFormat MonoFormat() {
    return WaveFormat{kWaveFormatPcm, 1, 22050, 44100, 2, 16, 0};
}

std::vector<int16_t> Ramp(int offset, int n) {
    std::vector<int16_t> ramp(n);
    for (int k = 0; k < n; k++)
        ramp[k] = RampSample(offset, k);
    return ramp;
}

// Buffers of 3000 bytes do not match PortAudio's 2048-byte callbacks, so buffers are filled
// across callbacks.
TEST_F(MicrophoneTest, DefaultInputFillsTheQueuedBuffersInOrder) {
    Configure(FileDevice("!default", kFirstOffset));
    CollectingClient collector(MicrophoneSource, 20, 3000);
    ASSERT_TRUE(collector.Record(MonoFormat(), 20));
    std::vector<uintptr_t> order(20);
    for (int j = 0; j < 20; j++)
        order[j] = j;
    EXPECT_EQ(collector.Order(), order);
    EXPECT_EQ(collector.Recorded(), std::vector<uint32_t>(20, 3000));
    EXPECT_EQ(Samples(collector.Bytes()), Ramp(kFirstOffset, 30000));
    EXPECT_TRUE(collector.ReturnedOnOtherThreads(std::this_thread::get_id()));
}

TEST_F(MicrophoneTest, ChoosesAnInputByNameOrPartOfIt) {
    Configure(FileDevice("!default", kFirstOffset) + FileDevice("quillo_second", kSecondOffset));
    for (const char* name : {"quillo_second", "second"}) {
        SCOPED_TRACE(name);
        SetMicrophoneName(name);
        CollectingClient collector(MicrophoneSource, 1, 2048);
        ASSERT_TRUE(collector.Record(MonoFormat(), 1));
        EXPECT_EQ(Samples(collector.Bytes()), Ramp(kSecondOffset, 1024));
    }
}

TEST_F(MicrophoneTest, OpenFailsWithoutAnInputThatCanRecord) {
    Configure(
        "pcm.!default { type hw; card 7 }\n"
        "pcm.quillo_playback { type asym; playback.pcm \"null\" }\n");
    CollectingClient collector(MicrophoneSource, 1, 2048);
    EXPECT_FALSE(MicrophoneSource.open(MonoFormat(), collector.Client()));  // no default input
    for (const char* name : {"quillo_playback", "no such device"}) {
        SetMicrophoneName(name);
        EXPECT_FALSE(MicrophoneSource.open(MonoFormat(), collector.Client())) << name;
    }
    Configure(FileDevice("!default", kFirstOffset));
    SetMicrophoneName(nullptr);
    const WaveFormat twentyFourBits{kWaveFormatPcm, 1, 22050, 66150, 3, 24, 0};
    EXPECT_FALSE(MicrophoneSource.open(twentyFourBits, collector.Client()));

    // Reset before start returns every queued buffer, unfilled and in order.
    CollectingClient three(MicrophoneSource, 3, 2048);
    ASSERT_TRUE(MicrophoneSource.open(MonoFormat(), three.Client()));
    three.AddAll();
    MicrophoneSource.reset();
    ASSERT_TRUE(three.WaitForReturned(3, kPatientWaitMs));
    MicrophoneSource.close();
    EXPECT_EQ(three.Order(), (std::vector<uintptr_t>{0, 1, 2}));
    EXPECT_EQ(three.Recorded(), std::vector<uint32_t>(3, 0));
}

TEST_F(MicrophoneTest, RecordsThroughTheCaptureDevice) {
    Configure(FileDevice("!default", kFirstOffset));
    ResetNotifications();
    CaptureDevice device;
    ASSERT_TRUE(device.Configure(RecordNotify, nullptr, 3, 20, 2048, 1, 22050, 16));
    SetAudioSource(&MicrophoneSource);
    ASSERT_TRUE(device.Open());
    ASSERT_TRUE(WaitForNotifications(2));
    std::vector<uint8_t> block(4096);
    ASSERT_TRUE(device.Read(block.data(), 4096));
    EXPECT_TRUE(device.Close());
    SetAudioSource(nullptr);
    EXPECT_EQ(Samples(block), Ramp(kFirstOffset, 2048));
}

}  // namespace
