// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone: the sound server's own protocol when a server answers, else PortAudio
// (plain ALSA, JACK), chosen afresh at each opening and each listing.
#include <atomic>

#include "platform/audio/audio_pulse.h"
#include "platform/audio/audio_sources.h"

namespace {

// The source that the open microphone went to; null while closed.
std::atomic<const AudioSource*> Chosen{nullptr};

// The sound system whose refusal explains the last failed opening; null after a good one.
const char* (*LastFailure)() = nullptr;

bool OpenChosen(const WaveFormat& format, const AudioSourceClient& client) {
    if (Chosen.load() != nullptr) return false;
    LastFailure = nullptr;
    switch (OpenPulseMicrophone(format, client)) {
        case PulseOpening::kOpened:
            Chosen = &PulseMicrophoneSource;
            return true;
        case PulseOpening::kRefused:
            LastFailure = PulseMicrophoneFailure;
            return false;
        case PulseOpening::kNoServer:
            break;
    }
    if (!PortAudioMicrophoneSource.open(format, client)) {
        LastFailure = PortAudioMicrophoneFailure;
        return false;
    }
    Chosen = &PortAudioMicrophoneSource;
    return true;
}

bool AddToChosen(WaveHeader* header) {
    const AudioSource* source = Chosen.load();
    return source != nullptr && source->addBuffer(header);
}

template <void (*AudioSource::*operation)()>
void OnChosen() {
    if (const AudioSource* source = Chosen.load()) (source->*operation)();
}

void SetChosenFragment(uint32_t bytes) {
    const AudioSource* source = Chosen.load();
    if (source != nullptr && source->setFragment != nullptr) source->setFragment(bytes);
}

void CloseChosen() {
    if (const AudioSource* source = Chosen.exchange(nullptr)) source->close();
}

}  // namespace

const AudioSource MicrophoneSource = {OpenChosen,
                                      AddToChosen,
                                      OnChosen<&AudioSource::start>,
                                      OnChosen<&AudioSource::stop>,
                                      OnChosen<&AudioSource::reset>,
                                      CloseChosen,
                                      SetChosenFragment};

const char* MicrophoneFailure() {
    return LastFailure != nullptr ? LastFailure() : "";
}

void SetMicrophoneName(const char* name) {
    SetPulseSourceName(name);
    SetPortAudioMicrophoneName(name);
}

bool ListMicrophones(unsigned rate, void (*found)(const char* name, bool isDefault, void* context),
                     void* context) {
    if (ListPulseSources(found, context)) return true;
    // PortAudio would reach a silent server through ALSA's pulse plugin, and wait for ever.
    return !PulseServerSilent() && ListPortAudioMicrophones(rate, found, context);
}
