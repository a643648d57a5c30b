// Sanitizer settings for the program in sanitizer builds, read by the runtimes at start. As in
// the audio tests: PortAudio opens every ALSA device when it initialises, and ALSA's plugins,
// which are not instrumented, leak from their initialisers when dlopen loads them. Nothing of
// ours is on that stack; the slow unwinder sees past the plugin's frames to snd_dlopen.

extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:snd_dlopen\n";
}
