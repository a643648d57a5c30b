// libFuzzer target: any bytes, written to a file, through LoadAudioFile and, when the file is
// accepted, through the file source in lock-step into a reader that drains at once, until the
// source has delivered the whole stream (or a bounded part of a long one). Besides what the
// sanitizers catch, it aborts when a refusal's reason is not one line naming the file, when
// the source stops delivering without finishing, or when an undamaged stream's length is not
// the one AudioFileFrames promised.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/audio_sources.h"

namespace {

constexpr unsigned kRate = 22050;
constexpr uint32_t kBufferBytes = 2048;
constexpr int kBuffers = 8;
constexpr long long kMostSamples = 1 << 16;  // about 3 s at 22050 Hz: enough of a stream
constexpr auto kStall = std::chrono::seconds(10);

[[noreturn]] void Fault(const char* what, const char* detail) {
    std::fprintf(stderr, "audio file fuzz: %s: %s\n", what, detail);
    std::abort();
}

// The input's file, one per process, removed at exit.
const std::string& InputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir != nullptr ? dir : "/tmp") + "/quillo_fuzz_XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0) Fault("no temporary file", name.c_str());
        close(fd);
        static std::string removed;
        removed = name;
        std::atexit([] { std::remove(removed.c_str()); });
        return name;
    }();
    return path;
}

void WriteInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (file == nullptr) Fault("cannot write", InputPath().c_str());
    if (size > 0 && std::fwrite(data, 1, size, file) != size) Fault("short write", "");
    std::fclose(file);
}

// A one-line reason that starts with the file's path.
void CheckReason(const char* reason) {
    const std::string& path = InputPath();
    if (std::strncmp(reason, path.c_str(), path.size()) != 0 || reason[path.size()] != ':')
        Fault("reason does not name the file", reason);
    if (std::strchr(reason, '\n') != nullptr) Fault("reason is not one line", reason);
}

// Counts what the source returns and queues each buffer again at once.
struct Reader {
    uint8_t memory[kBuffers][kBufferBytes];
    WaveHeader headers[kBuffers];
    std::mutex mutex;
    std::condition_variable returned;
    long long samples = 0;
    long long returns = 0;

    static void Return(void* context, WaveHeader* header) {
        Reader& self = *static_cast<Reader*>(context);
        if (header->dwBytesRecorded > header->dwBufferLength || header->dwBytesRecorded % 2 != 0)
            Fault("bad recorded length", "");
        {
            std::lock_guard<std::mutex> guard(self.mutex);
            self.samples += header->dwBytesRecorded / 2;
            self.returns++;
        }
        self.returned.notify_all();
        AudioFileSource.addBuffer(header);
    }
    static bool Drained(void*) { return true; }
};

void Play() {
    static Reader reader;
    reader.samples = 0;
    reader.returns = 0;
    const WaveFormat format{kWaveFormatPcm, 1, kRate, 2 * kRate, 2, 16, 0};
    if (!AudioFileSource.open(format, AudioSourceClient{&reader, Reader::Return, Reader::Drained}))
        Fault("an accepted file does not open", "");
    for (int j = 0; j < kBuffers; j++) {
        reader.headers[j] =
            WaveHeader{reader.memory[j], kBufferBytes, 0, static_cast<uintptr_t>(j)};
        AudioFileSource.addBuffer(&reader.headers[j]);
    }
    AudioFileSource.start();
    bool finished = false;
    long long samples = 0;
    {
        std::unique_lock<std::mutex> guard(reader.mutex);
        long long seen = 0;
        auto progress = std::chrono::steady_clock::now();
        while (reader.samples < kMostSamples) {
            // Finishing is noticed by asking; the last return wakes us, the rest is a short wait.
            reader.returned.wait_for(guard, std::chrono::milliseconds(1),
                                     [&] { return reader.returns != seen; });
            if (reader.returns != seen) {
                seen = reader.returns;
                progress = std::chrono::steady_clock::now();
            }
            guard.unlock();
            finished = AudioFileFinished();
            guard.lock();
            if (finished) break;
            if (std::chrono::steady_clock::now() - progress > kStall)
                Fault("the source stopped without finishing", "");
        }
        samples = reader.samples;
    }
    AudioFileSource.reset();
    AudioFileSource.close();

    char reason[512] = "";
    if (AudioFileFailed(reason, sizeof reason)) {
        CheckReason(reason);
    } else if (finished && AudioFileFrames() >= 0 && samples != AudioFileFrames()) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "%lld delivered, %lld promised", samples,
                      AudioFileFrames());
        Fault("length differs", detail);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteInput(data, size);
    char reason[512] = "";
    if (!LoadAudioFile(InputPath().c_str(), kRate, AudioFilePacing::kLockStep, reason,
                       sizeof reason)) {
        CheckReason(reason);
        return 0;
    }
    Play();
    return 0;
}
