// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone through the sound server's own protocol (PulseAudio, or PipeWire's pulse
// server). MicrophoneSource (platform/audio/audio_sources.h) records through it whenever a server
// answers and through PortAudio otherwise; tests reach it directly here.
#pragma once

#include <poll.h>

#include "capture/audio_source.h"

enum class PulseOpening {
    kOpened,
    kNoServer,  // no server answered: another sound system may be tried
    kRefused,   // a server answered, but not with this source or format; or one is there but
                // did not answer in time (another sound system would reach it, and wait for ever)
};

// The source's table; its open succeeds when OpenPulseMicrophone says kOpened.
extern const AudioSource PulseMicrophoneSource;

// Opens the named source (SetPulseSourceName), or the server's default, converted by the
// server to the format. Never starts a server of its own.
PulseOpening OpenPulseMicrophone(const WaveFormat& format, const AudioSourceClient& client);
// Why the last kRefused opening was refused, in one line; empty after any other.
const char* PulseMicrophoneFailure();

// The source to record: null or empty for the server's default; else the source of exactly
// this name, else of exactly this description, else the first whose name, then whose
// description, contains it.
void SetPulseSourceName(const char* name);

// Calls `found` for every source of the server (monitors of outputs included), with its
// label (platform/audio/source_label.h). False when no server answers.
bool ListPulseSources(void (*found)(const char* label, bool isDefault, void* context),
                      void* context);

// Who looks after an open source's connection. By default a thread of the source's own; a host
// whose thread runs an event loop (the program's main thread) can take it instead, so that one
// thread, not two, wakes for each buffer. The host's thread then opens and closes the source
// and runs every TurnPulseLoop; the source calls watch on that thread and wake on any.
struct PulseLoopHost {
    // Replaces what the host watches: TurnPulseLoop is due once one of the `count` descriptors
    // is ready for its `events`, or `timeoutMs` from now (negative: never).
    void (*watch)(const pollfd* fds, unsigned count, int timeoutMs);
    void (*wake)();  // TurnPulseLoop is due soon
};
// Takes effect at the next opening; null for the source's own thread.
void SetPulseLoopHost(const PulseLoopHost* host);
// On the host's thread: reads what came, hands the filled buffers over and says what to watch
// next. Does nothing while no source is open with the host.
void TurnPulseLoop();
// On the host's thread: whether a source is open with `host` looking after it.
bool PulseSourceHostedBy(const PulseLoopHost* host);

// True when the last opening or listing found a server that did not answer in time (or a
// signal ending the run cut the wait short), rather than no server at all.
bool PulseServerSilent();
