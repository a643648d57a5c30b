// SPDX-License-Identifier: GPL-3.0-or-later
// The scripted audio source: delivers these buffers, with these recorded byte counts, now.
// Portable (library quillo_scripted_source), so the core's tests can record through it; it
// shares the source thread of platform/audio/audio_thread.h with the file source.
#pragma once

#include <cstdint>

#include "capture/audio_source.h"

extern const AudioSource ScriptedAudioSource;

// While false, open fails as it does without an input device. Initially true.
void SetScriptedInputPresent(bool present);

// Replaces the script. The source's thread fills `count` buffers as soon as it is started and
// has empty buffers: buffer i reports recorded[i] bytes recorded and receives that many bytes
// (at most its length) taken in turn from `bytes`. Both arrays must outlive the delivery.
void PlayScriptedBuffers(const uint8_t* bytes, const uint32_t* recorded, int count);

// Waits until every scripted buffer has been returned to the client; false on timeout.
bool WaitScriptedBuffersDelivered(int timeoutMs);

// Empty buffers the source holds.
int ScriptedBuffersQueued();

// The delivery size last asked for with setFragment since the source opened; 0 when none.
uint32_t ScriptedFragmentBytes();
