// The source threads' wake: every open source hears it, a closed one never does, and closing
// gives its place back, however often sources open and close.
#include <gtest/gtest.h>

#include <memory>

#include "platform/audio/audio_thread.h"

namespace {

SourceClock::time_point NothingDue(const WaveHeader&) {
    return SourceClock::time_point::max();
}
void FillNothing(WaveHeader& header) {
    header.dwBytesRecorded = 0;
}
void Ignore(void*, WaveHeader*) {}
bool Drained(void*) {
    return true;
}

constexpr SourceThreadHooks kHooks{NothingDue, nullptr, FillNothing, nullptr};
constexpr AudioSourceClient kClient{nullptr, Ignore, Drained};

unsigned Wakes(SourceThread& source) {
    std::lock_guard<std::mutex> guard(source.mutex);
    return source.wakes;
}

TEST(SourceThreadWakeTest, ReachesEveryOpenSourceAndNoClosedOne) {
    auto first = std::make_unique<SourceThread>();
    auto second = std::make_unique<SourceThread>();
    ASSERT_TRUE(OpenSourceThread(*first, kClient, kHooks));
    ASSERT_TRUE(OpenSourceThread(*second, kClient, kHooks));
    WakeSourceThreads();
    EXPECT_EQ(Wakes(*first), 1u);
    EXPECT_EQ(Wakes(*second), 1u);

    CloseSourceThread(*first);
    WakeSourceThreads();
    EXPECT_EQ(Wakes(*first), 1u);
    EXPECT_EQ(Wakes(*second), 2u);
    CloseSourceThread(*second);
    WakeSourceThreads();
    EXPECT_EQ(Wakes(*second), 2u);

    // Far more openings than there are places: each closing must free its own.
    for (int round = 0; round < 40; ++round) {
        SourceThread& source = round % 2 == 0 ? *first : *second;
        const unsigned before = Wakes(source);
        ASSERT_TRUE(OpenSourceThread(source, kClient, kHooks));
        WakeSourceThreads();
        EXPECT_EQ(Wakes(source), before + 1) << "round " << round;
        CloseSourceThread(source);
    }

    // A source destroyed after closing is never reached again.
    first.reset();
    WakeSourceThreads();
}

}  // namespace
