// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone through libpulse.
//
// A plain libpulse main loop, run by a thread of the source's own or turned by a host's event
// loop (PulseLoopHost): the server converts to the capture format and sends about one
// buffer's worth at a time, so the loop wakes about once a buffer, as `parec` does (asked with
// setFragment, it sends larger fragments less often, and the connection is then looked at
// once a fragment instead of at every packet). Each filled buffer goes to the client's
// takeBuffer when there is one, so that no other thread wakes for it; hosted, the host's
// thread is the only one that wakes. PortAudio's ALSA host reaches the same server through
// the ALSA pulse plugin by polling, at forty times that cost.
//
//     addBuffer --queued--> read callback (fills in order) --returning--> client
//
// Every libpulse call of an opening runs on one thread at a time: the opener's until the
// stream is ready, then the source's thread until close has joined it (hosted, the host's
// thread throughout). The other operations only change the two queues under `mutex` and wake
// the loop (pa_mainloop_wakeup and the host's wake may be called from any thread), so the
// client is never called with a lock of ours held.
#include <poll.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/audio/audio_pulse.h"
#include "platform/audio/audio_sources.h"
#include "platform/audio/source_label.h"
#include "platform/files/file_names.h"
#include "platform/files/output_files.h"

namespace {

constexpr int kMaxSourceName = 256;
constexpr int kMaxLabel = 2 * kMaxSourceName + 16;
constexpr int kReasonSize = 256;
constexpr int kServerWaitMs = 5000;            // for an answer while connecting or listing
constexpr int kSignalCheckMs = 100;            // how often a wait looks for the end of the run
constexpr uint32_t kFramesPerFragment = 1024;  // the server sends about a buffer at a time
constexpr const char* kClientName = "Quillo-SA";
constexpr unsigned kMostWatched = 16;  // descriptors a host watches; the loop has about three
constexpr int kUnwatchedLookMs = 10;   // how often a host looks when the loop has more

struct HeaderQueue {
    WaveHeader* slots[kMaxSourceBuffers];
    int first;
    int count;
};

bool PushHeader(HeaderQueue& queue, WaveHeader* header) {
    if (queue.count == kMaxSourceBuffers) return false;
    queue.slots[(queue.first + queue.count) % kMaxSourceBuffers] = header;
    queue.count++;
    return true;
}

WaveHeader* PopHeader(HeaderQueue& queue) {
    if (queue.count == 0) return nullptr;
    WaveHeader* header = queue.slots[queue.first];
    queue.first = (queue.first + 1) % kMaxSourceBuffers;
    queue.count--;
    return header;
}

struct PulseRecord {
    char sourceName[kMaxSourceName];             // as asked; empty = the server's default
    char failure[kMaxSourceName + kReasonSize];  // why the last opening was refused, or empty
    std::atomic<void (*)(const char*)> lost;
    // The opening; changed only while the source's thread does not run.
    pa_mainloop* loop;
    pa_context* context;
    pa_stream* stream;
    AudioSourceClient client;
    const PulseLoopHost* host;  // the opening's host; null when the source's thread runs it
    std::thread thread;
    // The source's thread (or the host's) alone, while it runs.
    bool loopFailed;
    bool lostPending;
    bool lostReported;
    char reason[kReasonSize];
    uint32_t fragmentAsked;  // bytes: the fragment size last asked of the server
    uint32_t fragmentLeast;  // bytes: one buffer's worth, the fragment of an opening
    uint32_t bytesPerSecond;
    std::chrono::steady_clock::time_point nextLook;  // while asked for large fragments
    // Hosted: what the loop's last poll would have waited for.
    pollfd watched[kMostWatched];
    unsigned watchedCount;
    int watchedTimeoutMs;
    // Shared.
    std::mutex mutex;  // guards what follows
    std::condition_variable changed;
    HeaderQueue queued;     // empty buffers, the first one being filled
    HeaderQueue returning;  // filled, stopped or reset buffers, in the order to return them
    bool started;
    bool quit;
    uint32_t fragmentWanted;  // bytes: setFragment's, for the thread to ask the server
};
PulseRecord Pulse;
const PulseLoopHost* ChosenHost = nullptr;  // for the next opening

// ---- Talking to the server ----

struct ServerSession {
    pa_mainloop* loop;
    pa_context* context;
};

// True when the last connection met a server that did not answer in time, or whose answer a
// signal ending the run cut short; set by Connect.
bool ServerSilent = false;

// Runs the loop until `done()` or kServerWaitMs, or until a signal is to end the run; false
// on those or a failing loop.
template <typename Done>
bool RunUntil(pa_mainloop* loop, Done done) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kServerWaitMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || EndingSignal() != 0) return false;
        const auto slice = std::min<long long>(left.count(), kSignalCheckMs * 1000LL);
        if (pa_mainloop_prepare(loop, static_cast<int>(slice)) < 0 || pa_mainloop_poll(loop) < 0 ||
            pa_mainloop_dispatch(loop) < 0) {
            return false;
        }
    }
    return true;
}

void Disconnect(ServerSession& session) {
    if (session.context != nullptr) {
        pa_context_disconnect(session.context);
        pa_context_unref(session.context);
    }
    if (session.loop != nullptr) pa_mainloop_free(session.loop);
    session = ServerSession{};
}

// Connects without ever starting a server; false when none answers in time (ServerSilent
// tells whether one was there).
bool Connect(ServerSession& session) {
    ServerSilent = false;
    session = ServerSession{pa_mainloop_new(), nullptr};
    if (session.loop == nullptr) return false;
    session.context = pa_context_new(pa_mainloop_get_api(session.loop), kClientName);
    bool ready = session.context != nullptr &&
                 pa_context_connect(session.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    if (ready) {
        pa_context* context = session.context;
        ready = RunUntil(session.loop,
                         [context] {
                             const pa_context_state_t state = pa_context_get_state(context);
                             return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
                         }) &&
                pa_context_get_state(context) == PA_CONTEXT_READY;
        ServerSilent = !ready && PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    }
    if (!ready) Disconnect(session);
    return ready;
}

// Runs an introspection operation to its end; false when it fails or times out.
bool Complete(ServerSession& session, pa_operation* operation) {
    if (operation == nullptr) return false;
    const bool done = RunUntil(session.loop, [operation] {
        return pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
    });
    const bool ok = done && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return ok;
}

// Calls visit(info) for every source of the server.
struct SourceVisit {
    void (*visit)(const pa_source_info& info, void* context);
    void* context;
    bool failed;
};

bool VisitSources(ServerSession& session, SourceVisit& visit) {
    auto each = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
        SourceVisit& v = *static_cast<SourceVisit*>(userdata);
        if (eol < 0) v.failed = true;
        if (eol == 0 && info != nullptr) v.visit(*info, v.context);
    };
    return Complete(session, pa_context_get_source_info_list(session.context, each, &visit)) &&
           !visit.failed;
}

// The source that a name asks for: rank 0 exact name, 1 exact description, 2 part of the
// name, 3 part of the description; the first of the best rank.
struct SourceMatch {
    const char* wanted;
    int rank;  // 4 = nothing found
    char name[kMaxSourceName];
};

void MatchSource(const pa_source_info& info, void* context) {
    SourceMatch& match = *static_cast<SourceMatch*>(context);
    const char* description = info.description != nullptr ? info.description : "";
    int rank = 4;
    if (std::strcmp(info.name, match.wanted) == 0) {
        rank = 0;
    } else if (std::strcmp(description, match.wanted) == 0) {
        rank = 1;
    } else if (std::strstr(info.name, match.wanted) != nullptr) {
        rank = 2;
    } else if (std::strstr(description, match.wanted) != nullptr) {
        rank = 3;
    }
    if (rank < match.rank) {
        match.rank = rank;
        std::snprintf(match.name, sizeof match.name, "%s", info.name);
    }
}

// ---- The source's thread ----

void Wake() {
    if (Pulse.host != nullptr) {
        Pulse.host->wake();
        return;
    }
    pa_mainloop_wakeup(Pulse.loop);
    Pulse.changed.notify_all();  // a loop that failed waits here instead
}

void NoteLoss(const char* what, int error) {
    if (Pulse.lostPending) return;
    Pulse.lostPending = true;
    std::snprintf(Pulse.reason, sizeof Pulse.reason, "%s (%s)", what, pa_strerror(error));
}

void OnContextState(pa_context* context, void*) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        NoteLoss("the sound server went away", pa_context_errno(context));
    }
}

void OnStreamState(pa_stream* stream, void*) {
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        NoteLoss("the sound source went away", pa_context_errno(pa_stream_get_context(stream)));
    }
}

// Fills the queued buffers in order with `n` bytes (silence for a hole in the stream, when
// `bytes` is null). Audio that finds the source stopped or without a buffer is lost, as
// with a driver.
void Fill(const uint8_t* bytes, size_t n) {
    std::lock_guard<std::mutex> guard(Pulse.mutex);
    while (Pulse.started && n > 0 && Pulse.queued.count > 0) {
        WaveHeader& header = *Pulse.queued.slots[Pulse.queued.first];
        const size_t take = std::min<size_t>(header.dwBufferLength - header.dwBytesRecorded, n);
        uint8_t* to = header.lpData + header.dwBytesRecorded;
        if (bytes != nullptr) {
            std::memcpy(to, bytes, take);
            bytes += take;
        } else {
            std::memset(to, 0, take);
        }
        header.dwBytesRecorded += static_cast<uint32_t>(take);
        n -= take;
        if (header.dwBytesRecorded == header.dwBufferLength) {
            PushHeader(Pulse.returning, PopHeader(Pulse.queued));
        }
    }
}

void OnReadable(pa_stream* stream, size_t, void*) {
    const void* data = nullptr;
    size_t n = 0;
    while (pa_stream_peek(stream, &data, &n) == 0 && n > 0) {
        Fill(static_cast<const uint8_t*>(data), n);
        pa_stream_drop(stream);
    }
}

// Hands every finished buffer to the client, oldest first, without the mutex; a large
// fragment's buffers go together.
void ReturnFinished() {
    const AudioSourceClient& client = Pulse.client;
    for (;;) {
        WaveHeader* header;
        bool more = false;
        {
            std::lock_guard<std::mutex> guard(Pulse.mutex);
            header = PopHeader(Pulse.returning);
            more = Pulse.returning.count > 0;
        }
        if (header == nullptr) return;
        if (client.takeBuffer != nullptr) {
            client.takeBuffer(client.context, header, more);
        } else {
            client.returnBuffer(client.context, header);
        }
    }
}

// The loop's poll. pa_mainloop_prepare empties the wake-up pipe, so a Wake that came after
// the thread's last look at the queues but before prepare would be lost; looking again here,
// after prepare, closes that gap (a later Wake still finds its byte in the pipe). Hosted, the
// host waits instead: the poll only notes what to wait for and never blocks.
int PollUnlessPending(pollfd* fds, unsigned long count, int timeoutMs, void*) {
    if (Pulse.host != nullptr) {
        Pulse.watchedCount = static_cast<unsigned>(std::min<unsigned long>(count, kMostWatched));
        std::copy_n(fds, Pulse.watchedCount, Pulse.watched);
        Pulse.watchedTimeoutMs = timeoutMs;
        if (count > kMostWatched && (timeoutMs < 0 || timeoutMs > kUnwatchedLookMs))
            Pulse.watchedTimeoutMs = kUnwatchedLookMs;
        return poll(fds, count, 0);
    }
    {
        std::lock_guard<std::mutex> guard(Pulse.mutex);
        if (Pulse.quit || Pulse.returning.count > 0 || Pulse.fragmentWanted != Pulse.fragmentAsked)
            timeoutMs = 0;
    }
    return poll(fds, count, timeoutMs);
}

// The record stream's attributes: the server sends about `fragment` bytes at a time, and its
// source posts as often (PA_STREAM_ADJUST_LATENCY).
pa_buffer_attr RecordAttributes(uint32_t fragment) {
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = attributes.prebuf = attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = fragment;
    return attributes;
}

// Asks the server for the fragment size that setFragment last wanted, once per change. The
// audio on its way keeps its order: the server only changes how much it sends at once.
void AskForFragment() {
    {
        std::lock_guard<std::mutex> guard(Pulse.mutex);
        if (Pulse.fragmentWanted == Pulse.fragmentAsked) return;
        Pulse.fragmentAsked = Pulse.fragmentWanted;
        Pulse.nextLook = std::chrono::steady_clock::now();
    }
    const uint32_t wanted = Pulse.fragmentAsked;
    const pa_buffer_attr attributes = RecordAttributes(wanted);
    if (pa_operation* asked =
            pa_stream_set_buffer_attr(Pulse.stream, &attributes, nullptr, nullptr))
        pa_operation_unref(asked);
}

// While large fragments are asked for, the connection is looked at once a fragment's time
// after the last look. The server sends a fragment as several packets, each of which would
// wake a thread waiting on the connection; looked at once a fragment, they are all read
// together, and the audio waits in the server and the connection meanwhile, nothing lost.
std::chrono::microseconds FragmentPeriod() {
    return std::chrono::microseconds(uint64_t{Pulse.fragmentAsked} * 1000000 /
                                     std::max(1u, Pulse.bytesPerSecond));
}

// When the next look is due; a late one is due now, without a burst of looks after it.
std::chrono::steady_clock::time_point NextLook(std::chrono::steady_clock::time_point now) {
    if (Pulse.nextLook < now - FragmentPeriod()) Pulse.nextLook = now;
    return Pulse.nextLook;
}

// Sleeps until the next look, or until stop, reset, close or a new fragment size wakes the
// thread. Under the mutex; true when it is time to look.
bool SleepUntilNextLook(std::unique_lock<std::mutex>& guard) {
    const bool woken =
        Pulse.changed.wait_until(guard, NextLook(std::chrono::steady_clock::now()), [] {
            return Pulse.quit || Pulse.returning.count > 0 ||
                   Pulse.fragmentWanted != Pulse.fragmentAsked;
        });
    if (woken) return false;
    Pulse.nextLook += FragmentPeriod();
    return true;
}

// Dispatches what the connection holds without waiting: false when the loop failed. Hosted,
// the poll never waits, and an iteration that may block lets it note the loop's own timeout.
bool ReadWhatCame() {
    constexpr int kMostDispatches = 1024;  // a source that is always ready ends it
    const int block = Pulse.host != nullptr ? 1 : 0;
    for (int i = 0; i < kMostDispatches; i++) {
        const int dispatched = pa_mainloop_iterate(Pulse.loop, block, nullptr);
        if (dispatched < 0) return false;
        if (dispatched == 0) return true;
    }
    return true;
}

void NoteLoopFailure() {
    Pulse.loopFailed = true;
    NoteLoss("the sound server's connection failed", PA_ERR_INTERNAL);
}

// What a turn of the loop does besides reading: hands the finished buffers over, asks for
// the fragment size wanted, and tells of a loss once.
void LookAfterTheOpening() {
    ReturnFinished();
    if (!Pulse.loopFailed) AskForFragment();
    if (Pulse.lostPending && !Pulse.lostReported) {
        Pulse.lostReported = true;
        if (void (*lost)(const char*) = Pulse.lost.load()) lost(Pulse.reason);
    }
}

void RunPulseThread() {
    for (;;) {
        LookAfterTheOpening();
        bool looking = false;
        {
            std::unique_lock<std::mutex> guard(Pulse.mutex);
            if (Pulse.quit && Pulse.returning.count == 0) return;
            if (Pulse.loopFailed) {
                Pulse.changed.wait(guard, [] { return Pulse.quit || Pulse.returning.count > 0; });
                continue;
            }
            if (Pulse.fragmentAsked > Pulse.fragmentLeast) {
                if (!SleepUntilNextLook(guard)) continue;
                looking = true;
            }
        }
        const bool loopWorks =
            looking ? ReadWhatCame() : pa_mainloop_iterate(Pulse.loop, 1, nullptr) >= 0;
        if (!loopWorks) NoteLoopFailure();
    }
}

// A hosted turn: as a pass of the thread's loop, but what it would wait for goes to the host.
void TurnHostedLoop() {
    LookAfterTheOpening();
    bool looking = !Pulse.loopFailed;
    int lookInMs = -1;
    if (looking && Pulse.fragmentAsked > Pulse.fragmentLeast) {
        const auto now = std::chrono::steady_clock::now();
        looking = now >= NextLook(now);
        if (looking) Pulse.nextLook += FragmentPeriod();
        lookInMs = static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(Pulse.nextLook - now).count());
    }
    if (looking && !ReadWhatCame()) NoteLoopFailure();
    LookAfterTheOpening();
    if (Pulse.loopFailed) {
        Pulse.host->watch(nullptr, 0, -1);
    } else if (Pulse.fragmentAsked > Pulse.fragmentLeast) {
        Pulse.host->watch(nullptr, 0, std::max(lookInMs, 0));
    } else {
        Pulse.host->watch(Pulse.watched, Pulse.watchedCount, Pulse.watchedTimeoutMs);
    }
}

// ---- The source's operations ----

// Connects the record stream and waits until it is ready; false when the server refuses.
bool ConnectStream(ServerSession& session, const WaveFormat& format, const char* device) {
    const pa_sample_spec sampleFormat{format.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE,
                                      format.nSamplesPerSec,
                                      static_cast<uint8_t>(format.nChannels)};
    const pa_buffer_attr attributes = RecordAttributes(Pulse.fragmentAsked);
    Pulse.stream = pa_stream_new(session.context, "capture", &sampleFormat, nullptr);
    if (Pulse.stream == nullptr) return false;
    pa_stream_set_read_callback(Pulse.stream, OnReadable, nullptr);
    // A chosen source stays chosen: its loss ends the run rather than moving the stream.
    const pa_stream_flags_t flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | (device != nullptr ? PA_STREAM_DONT_MOVE : 0));
    pa_stream* stream = Pulse.stream;
    const bool ready = pa_stream_connect_record(stream, device, &attributes, flags) >= 0 &&
                       RunUntil(session.loop,
                                [stream] {
                                    const pa_stream_state_t state = pa_stream_get_state(stream);
                                    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                                }) &&
                       pa_stream_get_state(stream) == PA_STREAM_READY;
    if (!ready) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        Pulse.stream = nullptr;
    }
    return ready;
}

void ClosePulse() {
    if (Pulse.loop == nullptr) return;
    if (Pulse.host != nullptr) {
        ReturnFinished();  // what reset took back, as the thread does before it ends
        Pulse.host->watch(nullptr, 0, -1);
        Pulse.host = nullptr;
    } else {
        {
            std::lock_guard<std::mutex> guard(Pulse.mutex);
            Pulse.quit = true;
        }
        Wake();
        Pulse.thread.join();  // returns what reset took back first
    }
    pa_stream_set_state_callback(Pulse.stream, nullptr, nullptr);
    pa_context_set_state_callback(Pulse.context, nullptr, nullptr);
    pa_stream_disconnect(Pulse.stream);
    pa_stream_unref(Pulse.stream);
    Pulse.stream = nullptr;
    ServerSession session{Pulse.loop, Pulse.context};
    Disconnect(session);
    Pulse.loop = nullptr;
    Pulse.context = nullptr;
}

bool AddPulseBuffer(WaveHeader* header) {
    if (header == nullptr) return false;
    std::lock_guard<std::mutex> guard(Pulse.mutex);
    header->dwBytesRecorded = 0;
    return PushHeader(Pulse.queued, header);
}

void SetPulseFragment(uint32_t bytes) {
    {
        std::lock_guard<std::mutex> guard(Pulse.mutex);
        if (bytes == 0 || bytes == Pulse.fragmentWanted) return;
        Pulse.fragmentWanted = bytes;
    }
    if (Pulse.loop != nullptr) Wake();
}

void StartPulse() {
    std::lock_guard<std::mutex> guard(Pulse.mutex);
    Pulse.started = true;
}

// Stops filling; with `all`, every queued buffer goes back, else only a partly filled one.
void TakeBack(bool all) {
    bool taken = false;
    {
        std::lock_guard<std::mutex> guard(Pulse.mutex);
        Pulse.started = false;
        while (Pulse.queued.count > 0 &&
               (all || Pulse.queued.slots[Pulse.queued.first]->dwBytesRecorded > 0)) {
            PushHeader(Pulse.returning, PopHeader(Pulse.queued));
            taken = true;
            if (!all) break;
        }
    }
    if (taken && Pulse.loop != nullptr) Wake();
}

// Notes why the opening was refused (printf's format); kRefused.
[[gnu::format(printf, 1, 2)]] PulseOpening Refuse(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(Pulse.failure, sizeof Pulse.failure, format, arguments);
    va_end(arguments);
    return PulseOpening::kRefused;
}

}  // namespace

PulseOpening OpenPulseMicrophone(const WaveFormat& format, const AudioSourceClient& client) {
    Pulse.failure[0] = '\0';
    const bool supported = format.wFormatTag == kWaveFormatPcm && format.nChannels >= 1 &&
                           format.nChannels <= PA_CHANNELS_MAX &&
                           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
                           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
    if (Pulse.loop != nullptr) return Refuse("the sound server's source is already open");
    if (!supported) return Refuse("the sound server cannot record this format");
    ServerSession session{};
    if (!Connect(session)) {
        if (!ServerSilent) return PulseOpening::kNoServer;
        return Refuse("the sound server did not answer within %d s", kServerWaitMs / 1000);
    }
    SourceMatch match{Pulse.sourceName, 4, ""};
    if (Pulse.sourceName[0] != '\0') {
        SourceVisit visit{MatchSource, &match, false};
        if (!VisitSources(session, visit) || match.rank == 4) {
            Disconnect(session);
            return Refuse("the sound server has no source named or described as \"%s\"",
                          PrintableFileName(Pulse.sourceName).c_str());
        }
    }
    Pulse.fragmentAsked = kFramesPerFragment * format.nBlockAlign;
    Pulse.fragmentLeast = Pulse.fragmentAsked;
    Pulse.bytesPerSecond = format.nSamplesPerSec * format.nBlockAlign;
    {
        std::lock_guard<std::mutex> guard(Pulse.mutex);
        Pulse.queued = HeaderQueue{};
        Pulse.returning = HeaderQueue{};
        Pulse.started = false;
        Pulse.quit = false;
        Pulse.fragmentWanted = Pulse.fragmentAsked;
    }
    if (!ConnectStream(session, format, match.rank < 4 ? match.name : nullptr)) {
        Refuse("the sound server refused to record %u Hz (%s)", format.nSamplesPerSec,
               pa_strerror(pa_context_errno(session.context)));
        Disconnect(session);
        return PulseOpening::kRefused;
    }
    Pulse.loop = session.loop;
    Pulse.context = session.context;
    Pulse.client = client;
    Pulse.loopFailed = false;
    Pulse.lostPending = false;
    Pulse.lostReported = false;
    pa_context_set_state_callback(Pulse.context, OnContextState, nullptr);
    pa_stream_set_state_callback(Pulse.stream, OnStreamState, nullptr);
    pa_mainloop_set_poll_func(Pulse.loop, PollUnlessPending, nullptr);
    Pulse.host = ChosenHost;
    if (Pulse.host != nullptr) {
        Pulse.host->wake();  // its first turn tells it what to watch
        return PulseOpening::kOpened;
    }
    try {
        Pulse.thread = std::thread(RunPulseThread);
    } catch (const std::system_error&) {
        pa_stream_disconnect(Pulse.stream);
        pa_stream_unref(Pulse.stream);
        Pulse.stream = nullptr;
        Disconnect(session);
        Pulse.loop = nullptr;
        Pulse.context = nullptr;
        return Refuse("no thread for the sound server's source");
    }
    return PulseOpening::kOpened;
}

const char* PulseMicrophoneFailure() {
    return Pulse.failure;
}

bool PulseServerSilent() {
    return ServerSilent;
}

const AudioSource PulseMicrophoneSource = {
    [](const WaveFormat& format, const AudioSourceClient& client) {
        return OpenPulseMicrophone(format, client) == PulseOpening::kOpened;
    },
    AddPulseBuffer,
    StartPulse,
    [] { TakeBack(false); },
    [] { TakeBack(true); },
    ClosePulse,
    SetPulseFragment,
};

void SetPulseSourceName(const char* name) {
    std::snprintf(Pulse.sourceName, sizeof Pulse.sourceName, "%s", name == nullptr ? "" : name);
}

void SetPulseLoopHost(const PulseLoopHost* host) {
    ChosenHost = host;
}

void TurnPulseLoop() {
    if (Pulse.host != nullptr) TurnHostedLoop();
}

bool PulseSourceHostedBy(const PulseLoopHost* host) {
    return Pulse.loop != nullptr && host != nullptr && Pulse.host == host;
}

void SetMicrophoneLostNotice(void (*lost)(const char* reason)) {
    Pulse.lost = lost;
}

bool ListPulseSources(void (*found)(const char* label, bool isDefault, void* context),
                      void* context) {
    ServerSession session{};
    if (found == nullptr || !Connect(session)) return false;
    struct Listing {
        void (*found)(const char*, bool, void*);
        void* context;
        char defaultName[kMaxSourceName];
    } listing{found, context, ""};
    auto server = [](pa_context*, const pa_server_info* info, void* userdata) {
        Listing& l = *static_cast<Listing*>(userdata);
        if (info != nullptr && info->default_source_name != nullptr) {
            std::snprintf(l.defaultName, sizeof l.defaultName, "%s", info->default_source_name);
        }
    };
    auto each = [](const pa_source_info& info, void* userdata) {
        const Listing& l = *static_cast<const Listing*>(userdata);
        char label[kMaxLabel];
        FormatSourceLabel(info.description, info.name, info.monitor_of_sink != PA_INVALID_INDEX,
                          label, sizeof label);
        l.found(label, std::strcmp(info.name, l.defaultName) == 0, l.context);
    };
    SourceVisit visit{each, &listing, false};
    const bool ok =
        Complete(session, pa_context_get_server_info(session.context, server, &listing)) &&
        VisitSources(session, visit);
    Disconnect(session);
    return ok;
}
