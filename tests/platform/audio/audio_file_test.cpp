// SPDX-License-Identifier: GPL-3.0-or-later
// The file source: files made here with libsndfile arrive as mono 16-bit audio at the
// capture rate, paced in real time or pulled; unusable files are refused with a reason.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "tests/capture/capture_test_support.h"
#include "tests/platform/audio/audio_test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr unsigned kRate = 22050;
constexpr int kToneHz = 440;

std::string TempPath(const std::string& name) {
    return AudioTestFolder() + "quillo_audio_file_" + name;
}

// Two seconds of a 440 Hz tone at 44100 Hz, stereo: amplitude 0.5 on the left, 0.25 right.
std::string WriteStereoTone(const std::string& name, int format) {
    const std::string path = TempPath(name);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> frames(2 * 88200);
    for (int k = 0; k < 88200; k++) {
        const double tone = std::sin(2 * kPi * kToneHz * k / 44100.0);
        frames[2 * k] = static_cast<float>(0.5 * tone);
        frames[2 * k + 1] = static_cast<float>(0.25 * tone);
    }
    sf_writef_float(file, frames.data(), 88200);
    sf_close(file);
    return path;
}

std::string WriteMonoShorts(const std::string& name, const std::vector<int16_t>& samples) {
    const std::string path = TempPath(name);
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr);
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return path;
}

// 50 blocks and 300 samples, every sample distinct from its neighbours.
std::vector<int16_t> Ramp() {
    std::vector<int16_t> samples(50 * 1024 + 300);
    for (size_t k = 0; k < samples.size(); k++) {
        samples[k] = static_cast<int16_t>((k * 7919) % 65536 - 32768);
    }
    return samples;
}

WaveFormat MonoFormat() {
    return WaveFormat{kWaveFormatPcm, 1, kRate, 2 * kRate, 2, 16, 0};
}

// Plays the loaded file pulled into a client that drains at once; returns the samples.
std::vector<int16_t> PlayLoadedFile() {
    return PlayPulled(AudioFileSource, PullAudioFileBuffer, MonoFormat(),
                      [] { EXPECT_TRUE(AudioFileFinished()); });
}

TEST(AudioFileTest, StereoWavAndFlacAt44100HzArriveAsMonoAt22050HzKeepingTheTone) {
    const std::string paths[] = {
        WriteStereoTone("tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16),
        WriteStereoTone("tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16),
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::string reason;
        ASSERT_TRUE(LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, &reason))
            << reason;
        const std::vector<int16_t> samples = PlayLoadedFile();
        // Two seconds at 22050 Hz; the last buffer holds only what is left.
        EXPECT_NEAR(static_cast<double>(samples.size()), 44100.0, 1.0);
        // The mix is the channels' mean, amplitude 0.375, at the same frequency and phase.
        double worst = 0;
        for (size_t k = 200; k + 200 < samples.size(); k++) {
            const double expected = 0.375 * 32768 * std::sin(2 * kPi * kToneHz * k / kRate);
            worst = std::max(worst, std::fabs(samples[k] - expected));
        }
        EXPECT_LT(worst, 8.0);  // 16-bit steps
    }
}

// Near its own rate, a file plays at that rate when it lies within the limits (the full
// view's way), and is converted to the nearer limit when it does not.
TEST(AudioFileTest, AFilePlaysAtItsOwnRateWithinTheLimitsAndAtTheNearerOneOutside) {
    const std::string stereo = WriteStereoTone("own.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::string reason;
    ASSERT_TRUE(
        LoadAudioFileNearItsRate(stereo.c_str(), 8000, 96000, AudioFilePacing::kPulled, &reason))
        << reason;
    EXPECT_EQ(AudioFileOwnRate(), 44100u);
    EXPECT_EQ(AudioFileFrames(), 88200);
    const WaveFormat own{kWaveFormatPcm, 1, 44100, 2 * 44100, 2, 16, 0};
    const std::vector<int16_t> samples = PlayPulled(AudioFileSource, PullAudioFileBuffer, own);
    ASSERT_EQ(samples.size(), 88200u);
    double worst = 0;
    for (size_t k = 0; k < samples.size(); k++) {
        const double expected = 0.375 * 32768 * std::sin(2 * kPi * kToneHz * k / 44100.0);
        worst = std::max(worst, std::fabs(samples[k] - expected));
    }
    EXPECT_LT(worst, 2.0);  // mixed, not converted
    // Above the highest limit: converted down to it; below the lowest: up to it.
    ASSERT_TRUE(
        LoadAudioFileNearItsRate(stereo.c_str(), 8000, 22050, AudioFilePacing::kPulled, &reason));
    EXPECT_EQ(AudioFileFrames(), 44100);
    EXPECT_EQ(AudioFileOwnRate(), 44100u);
    const std::string ramp = WriteMonoShorts("own-ramp.wav", Ramp());
    ASSERT_TRUE(
        LoadAudioFileNearItsRate(ramp.c_str(), 44100, 96000, AudioFilePacing::kPulled, &reason));
    EXPECT_EQ(AudioFileFrames(), 2 * static_cast<long long>(Ramp().size()));
    EXPECT_EQ(AudioFileOwnRate(), kRate);
    EXPECT_FALSE(
        LoadAudioFileNearItsRate(ramp.c_str(), 48000, 44100, AudioFilePacing::kPulled, &reason));
    EXPECT_NE(reason.find("no capture rate"), std::string::npos) << reason;
    EXPECT_EQ(AudioFileOwnRate(), kRate);  // the refused load kept the file before
}

// A one-thread run: each pull fills a buffer on this thread, which the threadless device
// takes in and notifies at once; the end is seen ahead, and nothing that was looked ahead at
// is lost or reordered.
TEST(AudioFileTest, PulledBuffersArriveOnTheCallingThreadInOrderWithTheEndSeenAhead) {
    const std::vector<int16_t> samples = Ramp();
    const std::string path = WriteMonoShorts("pulled.wav", samples);
    std::string reason;
    ASSERT_TRUE(LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, &reason)) << reason;
    EXPECT_TRUE(AudioFileGoesOn(static_cast<long long>(samples.size())));
    EXPECT_FALSE(AudioFileGoesOn(static_cast<long long>(samples.size()) + 1));
    TheCaptureDevice.threadless = true;
    const int wakesBefore = ReaderWakes();
    ASSERT_TRUE(OpenReaderDevice(AudioFileSource));
    EXPECT_FALSE(TheCaptureDevice.thread.joinable());

    std::vector<uint8_t> stream;
    int pulls = 0;
    while (PullAudioFileBuffer()) {
        pulls++;
        // Taken in and notified before the pull returns.
        ASSERT_EQ(NotificationCount(), pulls);
        uint8_t block[kCaptureBufferSize];
        ASSERT_TRUE(TheCaptureDevice.Read(block, kCaptureBufferSize));
        stream.insert(stream.end(), block, block + kCaptureBufferSize);
        ArmReader();
        const long long left = static_cast<long long>(samples.size()) - 1024LL * pulls;
        if (left > 0) {
            EXPECT_TRUE(AudioFileGoesOn(left));
            EXPECT_FALSE(AudioFileGoesOn(left + 1));
        }
    }
    EXPECT_TRUE(AudioFileFinished());
    EXPECT_TRUE(TheCaptureDevice.Close());
    EXPECT_FALSE(TheCaptureDevice.Close());  // closed once
    TheCaptureDevice.threadless = false;

    std::vector<int16_t> expected = samples;
    expected.resize(51 * 1024, 0);  // the last buffer is padded with silence
    EXPECT_EQ(Samples(stream), expected);
    EXPECT_EQ(pulls, 51);
    EXPECT_EQ(ReaderWakes() - wakesBefore, 51);
}

// A switch of the capture rate opens the file again where it was: the samples before the
// start are decoded and dropped, and the place counts them.
TEST(AudioFileTest, AnOpeningStartsWhereItWasToldAndOnlyOnce) {
    std::vector<int16_t> samples(4096, 0);
    samples.resize(8192, 1000);  // silence, then a level
    const std::string path = WriteMonoShorts("resume.wav", samples);
    std::string reason;
    ASSERT_TRUE(LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, &reason)) << reason;
    TheCaptureDevice.threadless = true;
    const auto firstBlock = [] {
        std::vector<int16_t> block(1024);
        uint8_t bytes[kCaptureBufferSize];
        EXPECT_TRUE(OpenReaderDevice(AudioFileSource));
        EXPECT_TRUE(PullAudioFileBuffer());
        EXPECT_TRUE(TheCaptureDevice.Read(bytes, kCaptureBufferSize));
        std::memcpy(block.data(), bytes, kCaptureBufferSize);
        ArmReader();
        EXPECT_TRUE(TheCaptureDevice.Close());
        return block;
    };
    StartAudioFileAt(4096.0 / kRate);
    std::vector<int16_t> block = firstBlock();
    EXPECT_EQ(block.front(), 1000);
    EXPECT_NEAR(AudioFileSeconds(), (4096.0 + 1024.0) / kRate, 1e-9);
    block = firstBlock();  // told once: the next opening starts at the start
    EXPECT_EQ(block.front(), 0);
    for (double bad : {-1.0, double(NAN), 1e30}) {
        StartAudioFileAt(bad);
        EXPECT_EQ(firstBlock().front(), 0) << bad;
    }
    TheCaptureDevice.threadless = false;
}

// Pulled, a buffer comes only when asked, on the asking thread, and the file is finished only
// once the reader has drained it; in real time each buffer comes when it would have been
// recorded, on the source's thread.
TEST(AudioFileTest, PulledWaitsToBeAskedAndRealTimeForTheClock) {
    const std::string path = WriteMonoShorts("short.wav", std::vector<int16_t>(8 * 1024, 1000));
    std::string reason;
    ASSERT_TRUE(LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, &reason));
    {
        CollectingClient collector(AudioFileSource, 4, 2048);
        collector.requeue = true;
        ASSERT_TRUE(AudioFileSource.open(MonoFormat(), collector.Client()));
        collector.AddAll();
        AudioFileSource.start();
        EXPECT_EQ(collector.Returned(), 0);  // nothing unasked
        ASSERT_TRUE(PullAudioFileBuffer());
        EXPECT_EQ(collector.Returned(), 1);
        EXPECT_FALSE(collector.ReturnedOnOtherThreads(std::this_thread::get_id()));
        while (PullAudioFileBuffer()) {
        }
        EXPECT_EQ(collector.Returned(), 8);  // the whole file, none twice
        collector.drained = false;
        EXPECT_FALSE(AudioFileFinished());
        collector.drained = true;
        EXPECT_TRUE(AudioFileFinished());
        AudioFileSource.reset();
        AudioFileSource.close();
    }
    EXPECT_FALSE(PullAudioFileBuffer());  // closed

    ASSERT_TRUE(LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kRealTime, &reason));
    EXPECT_FALSE(PullAudioFileBuffer());  // not pulled
    CollectingClient collector(AudioFileSource, 8, 2048);
    ASSERT_TRUE(AudioFileSource.open(MonoFormat(), collector.Client()));
    collector.AddAll();
    const auto start = std::chrono::steady_clock::now();
    AudioFileSource.start();
    ASSERT_TRUE(collector.WaitForReturned(3, kPatientWaitMs));
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsedMs, 3 * 1024 * 1000.0 / kRate - 1.0);  // not before it was "recorded"
    AudioFileSource.reset();
    AudioFileSource.close();
}

// Played in real time with a fragment of four buffers, the file comes in deliveries of four,
// each handed over on the source's thread and saying which buffer ends it, the last cut short
// by the file's end; every sample once, in order. A fragment of one buffer asked afterwards
// (the picture shown again) hands over one buffer at a time.
TEST(AudioFileTest, RealTimeDeliversAFragmentsBuffersTogetherAndEachAloneAgainAfter) {
    std::vector<int16_t> ramp = Ramp();
    ramp.resize(10 * 1024 + 300);
    const std::string path = WriteMonoShorts("fragments.wav", ramp);
    std::string reason;
    for (const uint32_t lastAsked : {4u * 2048, 2048u}) {
        ASSERT_TRUE(LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kRealTime, &reason));
        CollectingClient collector(AudioFileSource, 8, 2048);
        collector.requeue = true;
        collector.handOver = true;
        ASSERT_TRUE(AudioFileSource.open(MonoFormat(), collector.Client()));
        AudioFileSource.setFragment(4 * 2048);
        AudioFileSource.setFragment(lastAsked);
        collector.AddAll();
        AudioFileSource.start();
        ASSERT_TRUE(collector.WaitForReturned(11, kPatientWaitMs));
        const std::vector<bool> more = collector.More();  // before reset returns the rest
        AudioFileSource.reset();
        AudioFileSource.close();
        EXPECT_EQ(Samples(collector.Bytes()), ramp);
        EXPECT_TRUE(collector.ReturnedOnOtherThreads(std::this_thread::get_id()));
        const std::vector<bool> together = {true, true,  true, false, true, true,
                                            true, false, true, true,  false};
        EXPECT_EQ(more, lastAsked == 2048 ? std::vector<bool>(11, false) : together);
    }
}

// Reasons name the file as the one line on stderr must: escaped and whole, however long.
TEST(AudioFileTest, RefusesFilesItCannotUseWithAOneLineReason) {
    const std::string flac = WriteStereoTone("whole.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::ifstream in(flac, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string shown;
    const std::string odd = OddFolder(&shown);
    const std::string truncated = odd + "truncated.flac";
    std::ofstream(truncated, std::ios::binary) << whole.substr(0, whole.size() / 2);
    const std::string text = TempPath("notes.wav");
    std::ofstream(text) << "not audio at all\n";
    const std::string missing = odd + "missing.wav";
    std::remove(missing.c_str());

    const std::string good = WriteMonoShorts("good.wav", std::vector<int16_t>(1024, 5));
    std::string reason;
    ASSERT_TRUE(LoadAudioFile(good.c_str(), kRate, AudioFilePacing::kPulled, &reason));

    const struct {
        std::string path;
        std::string says;  // the whole reason, or how it starts
    } cases[] = {
        {truncated,
         shown + "truncated.flac: damaged or truncated: frame 88200 of 88200 cannot be read"},
        {text, text + ": not a readable audio file ("},
        // What the system says, not libsndfile's "(System error : ...)".
        {missing, "cannot open " + shown + "missing.wav: No such file or directory"},
        {good + "/inner.wav", "cannot open " + good + "/inner.wav: Not a directory"},
        {odd, "cannot open " + shown + ": Is a directory"},
    };
    for (const auto& c : cases) {
        reason.clear();
        EXPECT_FALSE(LoadAudioFile(c.path.c_str(), kRate, AudioFilePacing::kPulled, &reason));
        EXPECT_EQ(reason.substr(0, c.says.size()), c.says);
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    }
    // The file loaded before is still the one played.
    EXPECT_EQ(PlayLoadedFile(), std::vector<int16_t>(1024, 5));
    // It plays at the rate it was converted to, and no other.
    CollectingClient collector(AudioFileSource, 1, 2048);
    EXPECT_FALSE(AudioFileSource.open(WaveFormat{kWaveFormatPcm, 1, 11025, 22050, 2, 16, 0},
                                      collector.Client()));
}

}  // namespace
