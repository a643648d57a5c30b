// The least a block can cost in a headless lock-step run, whatever the work on it: the block
// passes from the file source's thread to the capture thread to the window's thread, and the
// next one is released only when the window has drained it. Here a token goes round three
// threads that each wait on a condition variable, as those do, and nothing else happens.
// "ten_min_s" is the time of 12,920 rounds, the blocks of ten minutes at 22050 Hz. Real time,
// on one core (as a lock-step run keeps itself) and on any core.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int kThreads = 3;
constexpr double kTenMinuteBlocks = 12920;

struct TokenRing {
    std::mutex mutex;
    std::condition_variable turnChanged[kThreads];
    int turn = 0;
    bool quit = false;
};

void PassOn(TokenRing& ring, int next) {
    {
        std::lock_guard<std::mutex> guard(ring.mutex);
        ring.turn = next;
    }
    ring.turnChanged[next].notify_one();
}

// Thread `me` of the ring: waits for its turn and hands the token to the next thread.
void RunRingThread(TokenRing* ring, int me) {
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(ring->mutex);
            ring->turnChanged[me].wait(guard, [&] { return ring->turn == me || ring->quit; });
            if (ring->quit) return;
        }
        PassOn(*ring, (me + 1) % kThreads);
    }
}

void BM_LockStepHandOffs(benchmark::State& state) {
    cpu_set_t before;
    const bool oneCore = state.range(0) != 0;
    const bool pinned = oneCore && sched_getaffinity(0, sizeof before, &before) == 0;
    if (pinned) {
        // The threads started below inherit it.
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    TokenRing ring;
    std::thread source(RunRingThread, &ring, 1);
    std::thread capture(RunRingThread, &ring, 2);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        PassOn(ring, 1);
        std::unique_lock<std::mutex> guard(ring.mutex);
        ring.turnChanged[0].wait(guard, [&] { return ring.turn == 0; });
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    {
        std::lock_guard<std::mutex> guard(ring.mutex);
        ring.quit = true;
    }
    for (std::condition_variable& changed : ring.turnChanged)
        changed.notify_all();
    source.join();
    capture.join();
    if (pinned) sched_setaffinity(0, sizeof before, &before);
    state.counters["ten_min_s"] =
        elapsed.count() / static_cast<double>(state.iterations()) * kTenMinuteBlocks;
    state.SetLabel(oneCore ? "one core" : "any core");
}
BENCHMARK(BM_LockStepHandOffs)->ArgName("one_core")->Arg(1)->Arg(0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
