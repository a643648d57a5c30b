// SPDX-License-Identifier: GPL-3.0-or-later
// The audio sources that record from the machine's inputs and files; their contract is the
// AudioSource table in capture/audio_source.h. They need libpulse, PortAudio, libsndfile and
// libsamplerate (library quillo_audio_devices, built with QUILLO_PLATFORM). The scripted
// source for tests is platform/headless/scripted_source.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/audio_source.h"

// ---- Microphone ----
// The sound server's default source, or the one named, through libpulse when a server answers
// (platform/audio/audio_pulse.h); else PortAudio's default input device, or the one named.

extern const AudioSource MicrophoneSource;

// Why the microphone's last open failed, in one line (no newline); empty after a good open.
const char* MicrophoneFailure();

// The input to open: null or empty for the default; else a name (see SetPulseSourceName and
// SetPortAudioMicrophoneName).
void SetMicrophoneName(const char* name);

// Calls `found` for every input: the sound server's sources when one answers, else
// PortAudio's inputs that can record mono 16-bit at `rate`. False when neither can start.
bool ListMicrophones(unsigned rate, void (*found)(const char* name, bool isDefault, void* context),
                     void* context);

// Called at most once an opening, on the source's thread, when the open input is lost
// mid-run (the sound server ended, or its source went away), with a one-line reason. After
// that the source delivers nothing more; stop, reset and close work as before.
void SetMicrophoneLostNotice(void (*lost)(const char* reason));

// ---- Microphone through PortAudio ----
// Mono or stereo, 8 or 16 bits, at the format's rate; buffers are filled in order on
// PortAudio's thread and handed to a thread of the source's own through a lock-free queue.
// Open fails without an input device or when the device cannot record the format.

extern const AudioSource PortAudioMicrophoneSource;

// Why the PortAudio microphone's last open failed, in one line; empty after a good open.
const char* PortAudioMicrophoneFailure();

// The device to open: null or empty chooses PortAudio's default input device; otherwise the
// device of exactly this name, else the first whose name contains it.
void SetPortAudioMicrophoneName(const char* name);

// Calls `found` for every input device that can record mono 16-bit at `rate`, in PortAudio's
// order, telling which one is the default input. False when PortAudio cannot start.
bool ListPortAudioMicrophones(unsigned rate,
                              void (*found)(const char* name, bool isDefault, void* context),
                              void* context);

// ---- Audio file through libsndfile and libsamplerate ----

enum class AudioFilePacing {
    kRealTime,  // each buffer when its last sample would have been recorded
    kPulled,    // each buffer when PullAudioFileBuffer asks, on the asking thread (headless)
};

extern const AudioSource AudioFileSource;

// Opens the file (any format libsndfile reads, any channel count) for the source, which
// decodes it as it plays: mixed to mono, converted to `captureRate`, as 16-bit samples. What
// can be checked without decoding the whole file is checked here: a file that cannot be
// opened, has no audio, cannot be converted, cannot be decoded from its start, or whose last
// frame cannot be reached (cut short) is refused. "-" is standard input. On failure keeps the
// previous file and sets `reason` to one line (no newline): "NAME: why", or "cannot open NAME:
// " and the system's words when the input cannot be opened at all, NAME being the path as
// PrintableFileName gives it, whole. Each opening of the source plays the file from its start,
// opened afresh (standard input from a file is sought back; a pipe plays once).
bool LoadAudioFile(const char* path, unsigned captureRate, AudioFilePacing pacing,
                   std::string* reason);

// As LoadAudioFile, but the file plays at its own rate when that lies within lowest ..
// highest, else converted to the nearer of the two.
bool LoadAudioFileNearItsRate(const char* path, unsigned lowest, unsigned highest,
                              AudioFilePacing pacing, std::string* reason);

// The loaded file's own rate, from its header, whatever it is converted to; 0 before a file
// is loaded.
unsigned AudioFileOwnRate();

// With kPulled pacing: fills the open source's next buffer and returns it to the capture
// device now, on this thread; false when it is not started, holds no empty buffer or has
// delivered the whole file.
bool PullAudioFileBuffer();

// True when at least `samples` more samples of the loaded file are known to come, decoding
// ahead as far as needed (up to 131072 samples; damage found there ends the file early, as
// it would when played); false for more than that, or nearer the end. A pipe is not read
// ahead: only what is decoded already counts.
bool AudioFileGoesOn(long long samples);

// Seconds of the loaded file delivered since it was loaded or last opened.
double AudioFileSeconds();
// The next opening of the loaded file starts `seconds` into it (decoding and dropping what
// comes before) instead of at its start; a later LoadAudioFile forgets it.
void StartAudioFileAt(double seconds);

// True once the open source has delivered the whole file (or all of it that could be
// decoded) and the reader has drained it.
bool AudioFileFinished();

// True when the stream found, while playing, that the loaded file cannot be decoded to its
// end (damage, or fewer frames than its header promises); sets the one-line reason. The
// samples decoded before that point are delivered, then the stream ends. An Ogg whose last page
// is missing is found so at its end.
bool AudioFileFailed(std::string* reason);

// Samples the loaded file gives at the capture rate, from its header; -1 when unknown (no
// file, a stream of unknown length, or an MP3 that does not state its length). Exact for a file at
// the capture rate; for a converted one within one sample of what the converter gives (its own
// rounding decides the last), when the file is read to its end without a failure.
long long AudioFileFrames();
