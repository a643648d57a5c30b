// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone through libpulse, against a private PulseAudio server that each test starts
// in a runtime folder of its own: two null outputs, whose monitors are the sources, and a
// ramp played into one of them with pacat. A null output passes the samples through
// unchanged at its own format, so the recording must be the ramp itself, without a gap.
// Without pulseaudio and pacat installed (scripts/install-deps.sh) the tests are skipped.
// Each recording test runs twice: with the source's own thread, and looked after by a host's
// event loop on the test's thread.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audio_pulse.h"
#include "platform/audio/audio_sources.h"
#include "tests/capture/capture_test_support.h"
#include "tests/platform/audio/audio_test_support.h"

extern char** environ;

namespace {

constexpr int kRampPeriod = 30000;
constexpr int kRampSeconds = 60;

WaveFormat MonoFormat() {
    return WaveFormat{kWaveFormatPcm, 1, 22050, 44100, 2, 16, 0};
}

// Runs a shell command; its standard output, without the last newline.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
            text += chunk;
        pclose(pipe);
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The ramp without a gap or a repeat, in at least `least` samples. Silence may come between:
// before the playback reaches the output, and when the player falls behind, after which the
// server skips the player's late samples, so the ramp goes on from a later one.
testing::AssertionResult RampRunsOn(const std::vector<int16_t>& samples, size_t least) {
    size_t sounding = 0;
    int last = 0;  // the sample before, 0 for silence
    for (size_t k = 0; k < samples.size(); k++) {
        const int expected = last == kRampPeriod ? 1 : last + 1;
        if (last != 0 && samples[k] != 0 && samples[k] != expected) {
            return testing::AssertionFailure()
                   << "sample " << k << " is " << samples[k] << " after " << last;
        }
        last = samples[k];
        if (last != 0) sounding++;
    }
    if (sounding < least) {
        return testing::AssertionFailure()
               << "only " << sounding << " of " << samples.size() << " samples sound";
    }
    return testing::AssertionSuccess();
}

// The latency the server configured for `source` (the least its recording streams ask for),
// in microseconds, as pactl lists it; -1 when it is not listed.
long ConfiguredLatency(const std::string& source) {
    const std::string listed = Output("pactl list sources | awk '$2 == \"" + source +
                                      "\" { found = 1 } found && /configured/ { print $(NF - 1); "
                                      "exit }'");
    return listed.empty() ? -1 : std::stol(listed);
}

void Pass(int ms);

// Waits until the server has configured `source` for `frames` at 22050 Hz, within a
// millisecond; false after kPatientWaitMs.
bool WaitForConfiguredFrames(const std::string& source, long frames) {
    const long wanted = frames * 1000000L / 22050;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatientWaitMs);
    while (std::abs(ConfiguredLatency(source) - wanted) > 1000) {
        if (std::chrono::steady_clock::now() > end) return false;
        Pass(50);
    }
    return true;
}

struct LostNotices {
    std::atomic<int> count{0};
    std::string reason;  // written before count grows
};
LostNotices Lost;

// A host's event loop on the test's thread: it waits for what the source asks it to watch, or
// for a wake, and then turns the source's loop.
struct TestLoopRecord {
    pollfd fds[17];  // what the source watches, and the wake's eventfd last
    unsigned count = 0;
    bool timed = false;
    std::chrono::steady_clock::time_point due;  // when timed
    int wakeFd = -1;
};
TestLoopRecord TestLoop;

const PulseLoopHost TestHost = {
    [](const pollfd* fds, unsigned count, int timeoutMs) {
        ASSERT_LE(count, 16u);
        std::copy_n(fds, count, TestLoop.fds);
        TestLoop.count = count;
        TestLoop.timed = timeoutMs >= 0;
        TestLoop.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    },
    [] {
        const uint64_t one = 1;
        EXPECT_EQ(write(TestLoop.wakeFd, &one, sizeof one), 8);
    },
};

// Turns the loop for `ms`: every time what it watches is ready, its timeout passes or it is
// woken.
void TurnTestLoop(int ms) {
    auto msUntil = [](std::chrono::steady_clock::time_point when) {
        return static_cast<int>(std::max<long long>(
            0, std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now())
                   .count()));
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int left = msUntil(end);
        if (left == 0) return;
        TestLoop.fds[TestLoop.count] = pollfd{TestLoop.wakeFd, POLLIN, 0};
        const bool dueFirst = TestLoop.timed && TestLoop.due < end;
        const int ready =
            poll(TestLoop.fds, TestLoop.count + 1, dueFirst ? msUntil(TestLoop.due) : left);
        if (ready == 0 && !dueFirst) return;
        uint64_t wakes = 0;
        if ((TestLoop.fds[TestLoop.count].revents & POLLIN) != 0) {
            EXPECT_EQ(read(TestLoop.wakeFd, &wakes, sizeof wakes), 8);
        }
        TurnPulseLoop();
    }
}

// Lets `ms` pass while the source runs: a hosted source needs its loop turned meanwhile.
void Pass(int ms) {
    if (TurnWhileWaiting != nullptr) {
        TurnWhileWaiting(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void RecordLoss(const char* reason) {
    Lost.reason = reason;
    Lost.count++;
}

// The parameter: looked after by a host's loop, rather than by the source's own thread.
class PulseTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (Output("for t in pulseaudio pacat pactl; do command -v $t; done | wc -l") != "3") {
            GTEST_SKIP() << "pulseaudio, pacat or pactl is missing";
        }
        if (GetParam()) {
            TestLoop = TestLoopRecord{};
            TestLoop.wakeFd = eventfd(0, EFD_CLOEXEC);
            ASSERT_GE(TestLoop.wakeFd, 0);
            SetPulseLoopHost(&TestHost);
            TurnWhileWaiting = TurnTestLoop;
        }
        runtime_ = testing::TempDir() + "quillo_pulse_" + std::to_string(getpid());
        std::filesystem::remove_all(runtime_);
        mkdir(runtime_.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("HOME", runtime_.c_str(), 1);
        unsetenv("PULSE_SERVER");
        // Run as root, the server must be told that this is no system-wide instance.
        const std::string start =
            "pulseaudio -D -n --exit-idle-time=-1 --system=false --use-pid-file=true "
            "--log-target=file:" +
            runtime_ +
            "/server.log -L module-native-protocol-unix "
            "-L 'module-null-sink sink_name=quillo_out rate=22050 channels=1'";
        ASSERT_EQ(std::system(start.c_str()), 0) << Output("cat " + runtime_ + "/server.log");
        serverPid_ = std::stoi(Output("cat " + runtime_ + "/pulse/pid"));
        otherModule_ = Output(
            "pactl load-module module-null-sink sink_name=quillo_other rate=22050 channels=1 "
            "sink_properties=device.description=Other");
        ASSERT_FALSE(otherModule_.empty());

        std::vector<int16_t> ramp(22050 * kRampSeconds);
        for (size_t k = 0; k < ramp.size(); k++)
            ramp[k] = static_cast<int16_t>(k % kRampPeriod + 1);
        std::ofstream(runtime_ + "/ramp.raw", std::ios::binary)
            .write(reinterpret_cast<const char*>(ramp.data()),
                   static_cast<std::streamsize>(ramp.size() * 2));
        Lost.count = 0;
        SetMicrophoneLostNotice(RecordLoss);
    }

    void TearDown() override {
        SetPulseLoopHost(nullptr);
        TurnWhileWaiting = nullptr;
        if (TestLoop.wakeFd >= 0) close(TestLoop.wakeFd);
        TestLoop.wakeFd = -1;
        SetMicrophoneLostNotice(nullptr);
        SetMicrophoneName(nullptr);
        if (playerPid_ > 0) {
            kill(playerPid_, SIGKILL);
            waitpid(playerPid_, nullptr, 0);
        }
        if (serverPid_ > 0) kill(serverPid_, SIGKILL);
        if (!runtime_.empty()) std::filesystem::remove_all(runtime_);
    }

    // Plays the ramp into the output `sink`, from its start.
    void PlayRamp(const std::string& sink) {
        const std::string device = "--device=" + sink;
        const std::string file = runtime_ + "/ramp.raw";
        const char* argv[] = {"pacat",        "--playback",     device.c_str(), "--rate=22050",
                              "--channels=1", "--format=s16le", file.c_str(),   nullptr};
        ASSERT_EQ(posix_spawnp(&playerPid_, "pacat", nullptr, nullptr,
                               const_cast<char* const*>(argv), environ),
                  0);
    }

    std::string runtime_;
    pid_t serverPid_ = 0;
    pid_t playerPid_ = 0;
    std::string otherModule_;
};

// 3000-byte buffers cut across the server's fragments of about 2048 bytes.
TEST_P(PulseTest, RecordsTheChosenSourceWholeAndInOrder) {
    PlayRamp("quillo_out");
    SetMicrophoneName("quillo_out.monitor");
    CollectingClient collector(MicrophoneSource, 40, 3000);
    ASSERT_TRUE(collector.Record(MonoFormat(), 40));
    std::vector<uintptr_t> order(40);
    for (int j = 0; j < 40; j++)
        order[j] = j;
    EXPECT_EQ(collector.Order(), order);
    EXPECT_EQ(collector.Recorded(), std::vector<uint32_t>(40, 3000));
    EXPECT_TRUE(RampRunsOn(Samples(collector.Bytes()), 10000));
    // Hosted, the buffers come on the loop's thread, and no thread of the source's wakes.
    EXPECT_EQ(collector.ReturnedOnOtherThreads(std::this_thread::get_id()), !GetParam());
}

// Asked for 16 buffers at a time, the source has the server send fragments of 16 buffers
// (its source then posts as seldom); asked for one, of one again. The recording runs on
// through both switches, whole and in order.
TEST_P(PulseTest, LargeFragmentsWhenAskedAndTheRecordingWholeAcrossTheSwitches) {
    PlayRamp("quillo_out");
    SetMicrophoneName("quillo_out.monitor");
    CollectingClient collector(MicrophoneSource, 40, 2048);
    collector.requeue = true;
    ASSERT_TRUE(MicrophoneSource.open(MonoFormat(), collector.Client()));
    collector.AddAll();
    MicrophoneSource.start();
    EXPECT_TRUE(WaitForConfiguredFrames("quillo_out.monitor", 1024));
    ASSERT_TRUE(collector.WaitForReturned(10, kPatientWaitMs));
    MicrophoneSource.setFragment(16 * 2048);
    EXPECT_TRUE(WaitForConfiguredFrames("quillo_out.monitor", 16 * 1024));
    ASSERT_TRUE(collector.WaitForReturned(collector.Returned() + 40, kPatientWaitMs));
    MicrophoneSource.setFragment(2048);
    EXPECT_TRUE(WaitForConfiguredFrames("quillo_out.monitor", 1024));
    ASSERT_TRUE(collector.WaitForReturned(collector.Returned() + 20, kPatientWaitMs));
    MicrophoneSource.reset();
    MicrophoneSource.close();
    EXPECT_EQ(Lost.count, 0);
    EXPECT_TRUE(RampRunsOn(Samples(collector.Bytes()), 50000));
}

TEST_P(PulseTest, ListsTheServersSourcesAndChoosesByNameOrDescription) {
    ASSERT_EQ(Output("pactl set-default-source quillo_other.monitor"), "");
    std::vector<std::pair<std::string, bool>> listed;
    auto found = [](const char* label, bool isDefault, void* context) {
        static_cast<std::vector<std::pair<std::string, bool>>*>(context)->emplace_back(label,
                                                                                       isDefault);
    };
    ASSERT_TRUE(ListMicrophones(22050, found, &listed));
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, bool>>{
                          {"Monitor of Null Output [quillo_out.monitor] (monitor)", false},
                          {"Monitor of Other [quillo_other.monitor] (monitor)", true},
                      }));

    // The ramp sounds on the other output only; the first output's monitor hears silence.
    PlayRamp("quillo_other");
    for (const char* name : {"", "Monitor of Other", "other.mon", "of Oth", "quillo_out.monitor"}) {
        SCOPED_TRACE(name);
        SetMicrophoneName(name);
        CollectingClient collector(MicrophoneSource, 20, 2048);
        ASSERT_TRUE(collector.Record(MonoFormat(), 20));
        const std::vector<int16_t> samples = Samples(collector.Bytes());
        if (std::string(name) == "quillo_out.monitor") {
            EXPECT_EQ(samples, std::vector<int16_t>(samples.size(), 0));
        } else {
            EXPECT_TRUE(RampRunsOn(samples, 5000));
        }
    }
    // A server answered, so a name it does not know is no reason to try PortAudio.
    SetMicrophoneName("no such source");
    CollectingClient collector(MicrophoneSource, 1, 2048);
    EXPECT_EQ(OpenPulseMicrophone(MonoFormat(), collector.Client()), PulseOpening::kRefused);
    EXPECT_FALSE(MicrophoneSource.open(MonoFormat(), collector.Client()));
}

TEST_P(PulseTest, StopReturnsThePartlyFilledBufferAndResetTheUnfilledOnes) {
    PlayRamp("quillo_out");
    // Reset before start: every queued buffer comes back unfilled, in order.
    CollectingClient unfilled(PulseMicrophoneSource, 3, 2048);
    ASSERT_TRUE(PulseMicrophoneSource.open(MonoFormat(), unfilled.Client()));
    unfilled.AddAll();
    PulseMicrophoneSource.reset();
    ASSERT_TRUE(unfilled.WaitForReturned(3, kPatientWaitMs));
    PulseMicrophoneSource.close();
    EXPECT_EQ(unfilled.Order(), (std::vector<uintptr_t>{0, 1, 2}));
    EXPECT_EQ(unfilled.Recorded(), std::vector<uint32_t>(3, 0));

    CollectingClient collector(PulseMicrophoneSource, 3, 2048);
    CollectingClient big(PulseMicrophoneSource, 1, 44100 * 4);  // four seconds
    ASSERT_TRUE(PulseMicrophoneSource.open(MonoFormat(), collector.Client()));
    collector.Add(0);
    PulseMicrophoneSource.start();
    ASSERT_TRUE(collector.WaitForReturned(1, kPatientWaitMs));  // the sound flows
    // The big buffer is returned to `collector` too, which records every return.
    big.Add(0);
    collector.Add(1);
    collector.Add(2);
    Pass(500);
    PulseMicrophoneSource.stop();
    ASSERT_TRUE(collector.WaitForReturned(2, kPatientWaitMs));
    const uint32_t part = collector.Recorded()[1];
    EXPECT_GT(part, 0u);
    EXPECT_LT(part, 44100u * 4);
    // Within the buffer nothing was lost.
    const std::vector<int16_t> beforeStop = Samples(collector.Bytes());
    EXPECT_TRUE(
        RampRunsOn(std::vector<int16_t>(beforeStop.begin() + 1024, beforeStop.end()), 1000));

    PulseMicrophoneSource.start();  // on into buffer 1, with what sounds from now on
    ASSERT_TRUE(collector.WaitForReturned(3, kPatientWaitMs));
    PulseMicrophoneSource.reset();
    ASSERT_TRUE(collector.WaitForReturned(4, kPatientWaitMs));
    PulseMicrophoneSource.close();
    EXPECT_EQ(collector.Order(), (std::vector<uintptr_t>{0, 0, 1, 2}));
    EXPECT_EQ(collector.Recorded()[2], 2048u);
    const std::vector<int16_t> all = Samples(collector.Bytes());
    EXPECT_TRUE(
        RampRunsOn(std::vector<int16_t>(all.begin() + static_cast<long>(beforeStop.size()),
                                        all.begin() + static_cast<long>(beforeStop.size()) + 1024),
                   1024));
}

TEST_P(PulseTest, ALostSourceOrServerIsToldOnceAndCloseStillReturnsTheBuffers) {
    SetMicrophoneName("quillo_other.monitor");
    CollectingClient collector(MicrophoneSource, 4, 2048);
    collector.requeue = true;
    ASSERT_TRUE(MicrophoneSource.open(MonoFormat(), collector.Client()));
    collector.AddAll();
    MicrophoneSource.start();
    ASSERT_TRUE(collector.WaitForReturned(2, kPatientWaitMs));
    ASSERT_EQ(Output("pactl unload-module " + otherModule_), "");
    for (int waited = 0; Lost.count == 0 && waited < kPatientWaitMs; waited += 10)
        Pass(10);
    ASSERT_EQ(Lost.count, 1);
    EXPECT_NE(Lost.reason.find("sound source went away"), std::string::npos) << Lost.reason;
    // Nothing is filled any more; reset returns the four queued buffers.
    collector.requeue = false;
    const int returned = collector.Returned();
    MicrophoneSource.reset();
    MicrophoneSource.close();
    EXPECT_EQ(collector.Returned(), returned + 4);

    // The server itself ends: its default source was followed, not a chosen one.
    SetMicrophoneName(nullptr);
    CollectingClient second(MicrophoneSource, 4, 2048);
    second.requeue = true;
    ASSERT_TRUE(MicrophoneSource.open(MonoFormat(), second.Client()));
    second.AddAll();
    MicrophoneSource.start();
    ASSERT_TRUE(second.WaitForReturned(2, kPatientWaitMs));
    kill(serverPid_, SIGKILL);
    serverPid_ = 0;
    for (int waited = 0; Lost.count == 1 && waited < kPatientWaitMs; waited += 10)
        Pass(10);
    ASSERT_EQ(Lost.count, 2);
    EXPECT_NE(Lost.reason.find("sound server went away"), std::string::npos) << Lost.reason;
    Pass(50);
    EXPECT_EQ(Lost.count, 2);  // once an opening
    second.requeue = false;
    const int before = second.Returned();
    MicrophoneSource.reset();
    MicrophoneSource.close();
    EXPECT_EQ(second.Returned(), before + 4);
}

INSTANTIATE_TEST_SUITE_P(OwnThreadOrHosted, PulseTest, ::testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Hosted" : "OwnThread";
                         });

}  // namespace
