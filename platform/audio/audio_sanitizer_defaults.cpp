// SPDX-License-Identifier: GPL-3.0-or-later
// Sanitizer settings for the program and the audio tests, read by the sanitizer runtimes
// when they are linked.
// PortAudio opens every ALSA device when it initialises, and the libraries behind some of
// them are not instrumented: ALSA's plugins leak from their initialisers when dlopen loads
// them, and the PulseAudio plugin's own mutexes and threads look like races. Nothing of ours
// is on those stacks. The slow unwinder sees past the uninstrumented frames to snd_dlopen.

extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

// The count of suppressed leaks would be printed at exit, among the program's own lines.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:snd_dlopen\n";
}

extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse\n";
}
