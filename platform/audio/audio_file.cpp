// SPDX-License-Identifier: GPL-3.0-or-later
// The file source: an audio file opened and checked at load time as far as that can be done
// without decoding it all, then decoded, mixed to mono, converted to the capture rate and
// rounded to 16 bits a chunk at a time on the source's thread as its buffers are filled,
// paced in real time or pulled by a one-thread run. Paced, it hands each buffer over to the
// client on its own thread (takeBuffer), a fragment's buffers together when the client asks
// for fragments (setFragment). Its memory is fixed when the file is loaded, whatever the
// file's length.
//
// Where a file stands while it plays (FileStream, guarded by the source's mutex):
//   file --sf_readf_float--> frames (interleaved) --mix--> mono --src_process--> converted
//        --ToSample--> pending (16-bit) --FileFill--> the client's buffers
#include <dlfcn.h>
#include <fcntl.h>
#include <mpg123.h>
#include <poll.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/audio/audio_sources.h"
#include "platform/audio/audio_thread.h"
#include "platform/files/file_names.h"
#include "platform/files/output_files.h"

// libsndfile decodes MPEG audio with libmpg123, which prints notes and errors of its own on
// stderr ("Illegal Audio-MPEG-Header", "Trying to resync...") unless its handle is made quiet,
// and libsndfile does not. This definition comes first in the program's symbol lookup, so
// libsndfile's call reaches it: the handle is made quiet, then opened by libmpg123 itself.
// What went wrong reaches the user as the program's own one line.
extern "C" int mpg123_open_handle(mpg123_handle* handle, void* source) {
    using Open = int (*)(mpg123_handle*, void*);
    static const Open open = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "mpg123_open_handle"));
    if (open == nullptr) return MPG123_ERR;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    return open(handle, source);
}

namespace {

constexpr int kReadSamples = 32768;      // most file samples (frames x channels) read per step
constexpr int kReadFrames = 4096;        // most file frames read per step
constexpr int kConvertFrames = 4096;     // most converted frames produced per step
constexpr int kPendingSamples = 131072;  // converted samples held ahead of the buffers
constexpr int kBytesPerSample = 2;
constexpr int kDetailSize = 256;    // a reason's text after the file's name
constexpr int kReplayBytes = 4096;  // the first bytes of a FLAC through a pipe, kept
constexpr int kRelayBytes = 65536;  // bytes a relay moves at a time
constexpr int kRelayCheckMs = 100;  // how often a waiting relay looks for the end of the run

// A FLAC through a pipe as libsndfile reads it. Having read the first bytes to learn the
// format, it seeks back to the start for the FLAC decoder, which a pipe cannot do (libsndfile
// then fails with "lost sync"). So the first bytes are kept and read again; the rest is read
// once, forward.
struct PipeReplay {
    int fd = -1;
    uint8_t head[kReplayBytes];
    sf_count_t position = 0;  // where the next read starts
    sf_count_t taken = 0;     // bytes taken from the pipe; the first kReplayBytes kept in head
};

// Reads from the pipe at its end, keeping what belongs to the head; the count read.
sf_count_t TakeFromPipe(PipeReplay& r, uint8_t* bytes, sf_count_t count) {
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t n = read(r.fd, bytes + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const sf_count_t kept = std::clamp<sf_count_t>(kReplayBytes - r.taken, 0, n);
        // Past the head, no pointer into it is formed at all.
        if (kept > 0) std::memcpy(r.head + r.taken, bytes + done, static_cast<size_t>(kept));
        r.taken += n;
        done += n;
    }
    return done;
}

sf_count_t ReplayLength(void*) {
    return SF_COUNT_MAX;  // unknown: the decoder reads on until the pipe ends
}

sf_count_t ReplayRead(void* bytes, sf_count_t count, void* data) {
    PipeReplay& r = *static_cast<PipeReplay*>(data);
    auto* out = static_cast<uint8_t*>(bytes);
    sf_count_t done = 0;
    if (r.position < r.taken) {  // all kept, as ReplaySeek allows
        done = std::min(count, r.taken - r.position);
        std::memcpy(out, r.head + r.position, static_cast<size_t>(done));
    }
    done += TakeFromPipe(r, out + done, count - done);
    r.position += done;
    return done;
}

// Back while all that was taken is kept, or forward by reading; nowhere else.
sf_count_t ReplaySeek(sf_count_t offset, int whence, void* data) {
    PipeReplay& r = *static_cast<PipeReplay*>(data);
    const sf_count_t target = whence == SEEK_SET   ? offset
                              : whence == SEEK_CUR ? r.position + offset
                                                   : -1;
    if (target < 0 || (target < r.taken && r.taken > kReplayBytes)) return -1;
    uint8_t skipped[512];
    while (r.taken < target) {
        if (TakeFromPipe(r, skipped, std::min<sf_count_t>(target - r.taken, sizeof skipped)) == 0)
            return -1;
    }
    r.position = target;
    return target;
}

sf_count_t ReplayTell(void* data) {
    return static_cast<PipeReplay*>(data)->position;
}

SF_VIRTUAL_IO ReplayIo = {ReplayLength, ReplaySeek, ReplayRead, nullptr, ReplayTell};

// Up to `size` bytes from `offset` of an open file; the count read.
size_t ReadAt(int fd, long long offset, uint8_t* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

// An MPEG audio file without a stated frame count, read through a descriptor of its own.
// libsndfile never reads past the frame count that the decoder estimates from the file's
// length and its first frame, which for a first frame of a higher bit rate than the rest lies
// far short of the end. The estimate needs a seek to the end; refused, it leaves the length
// unknown, and the file plays until the decoder finds its last frame.
struct MpegWithoutLength {
    int fd = -1;
    sf_count_t position = 0;
};

sf_count_t MpegFileSize(void* data) {
    struct stat status {};
    return fstat(static_cast<MpegWithoutLength*>(data)->fd, &status) == 0 ? status.st_size : -1;
}

sf_count_t MpegRead(void* bytes, sf_count_t count, void* data) {
    MpegWithoutLength& m = *static_cast<MpegWithoutLength*>(data);
    const size_t done =
        ReadAt(m.fd, m.position, static_cast<uint8_t*>(bytes), static_cast<size_t>(count));
    m.position += static_cast<sf_count_t>(done);
    return static_cast<sf_count_t>(done);
}

sf_count_t MpegSeek(sf_count_t offset, int whence, void* data) {
    MpegWithoutLength& m = *static_cast<MpegWithoutLength*>(data);
    const sf_count_t target = whence == SEEK_SET   ? offset
                              : whence == SEEK_CUR ? m.position + offset
                                                   : -1;  // the end: see above
    if (target < 0) return -1;
    m.position = target;
    return target;
}

sf_count_t MpegTell(void* data) {
    return static_cast<MpegWithoutLength*>(data)->position;
}

SF_VIRTUAL_IO MpegWithoutLengthIo = {MpegFileSize, MpegSeek, MpegRead, nullptr, MpegTell};

// True when the pipe's first bytes are a FLAC stream's marker, looked at without taking them:
// tee copies what the pipe holds into a pipe of our own. False for what is not a pipe.
bool PipeStartsWithFlac(int fd) {
    int copy[2];
    if (pipe2(copy, O_CLOEXEC) != 0) return false;
    fcntl(copy[0], F_SETFL, O_NONBLOCK);
    char head[4];
    ssize_t n;
    for (;;) {
        n = tee(fd, copy[1], sizeof head, 0);  // waits for the first bytes
        if (n <= 0 || n == sizeof head) break;
        // Fewer bytes: the writer may not have written the rest yet, or has gone.
        pollfd state{fd, POLLIN, 0};
        if (poll(&state, 1, 0) == 1 && (state.revents & POLLHUP) != 0) break;
        while (read(copy[0], head, sizeof head) > 0) {
        }
        poll(nullptr, 0, 1);
    }
    const bool flac = n == sizeof head && read(copy[0], head, sizeof head) == n &&
                      std::memcmp(head, "fLaC", sizeof head) == 0;
    close(copy[0]);
    close(copy[1]);
    return flac;
}

// A pipe, a FIFO or a terminal as input, handed to the decoder through a pipe of our own that
// a thread fills. The decoder's read() would wait in the kernel for a writer that pauses,
// where no signal can end it (libsndfile reads again after EINTR); the relay looks for the
// end of the run while it waits, and then ends the input.
class InputRelay {
  public:
    // The read end the decoder takes, or -1 when no pipe or thread can be made.
    int Start(int from) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return -1;
        fcntl(ends[1], F_SETFL, O_NONBLOCK);
        from_ = from;
        to_ = ends[1];
        readEnd_ = ends[0];
        try {
            thread_ = std::thread(&InputRelay::Run, this);
        } catch (const std::system_error&) {
            close(to_);
            close(readEnd_);
            return readEnd_ = -1;
        }
        return readEnd_;
    }
    ~InputRelay() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (readEnd_ >= 0) close(readEnd_);
    }

  private:
    bool Going() const { return !stop_ && EndingSignal() == 0; }

    // Waits, looking for the end now and then, until `fd` is ready for `events`.
    bool Ready(int fd, short events) const {
        while (Going()) {
            pollfd state{fd, events, 0};
            const int n = poll(&state, 1, kRelayCheckMs);
            if (n > 0) return true;
            if (n < 0 && errno != EINTR) return false;
        }
        return false;
    }

    void Run() {
        uint8_t* bytes = bytes_;
        while (Ready(from_, POLLIN)) {
            const ssize_t got = read(from_, bytes, kRelayBytes);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) break;
            ssize_t done = 0;
            while (done < got && Ready(to_, POLLOUT)) {
                const ssize_t put = write(to_, bytes + done, static_cast<size_t>(got - done));
                if (put < 0 && errno != EINTR && errno != EAGAIN) break;
                if (put > 0) done += put;
            }
            if (done < got) break;
        }
        close(to_);  // the decoder reads the end of the input
    }

    int from_ = -1;
    int to_ = -1;
    int readEnd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    uint8_t bytes_[kRelayBytes];
};

// One loaded file and how far its decoding has come. Built by LoadAudioFile; replaced only
// while the source is closed; otherwise used under the source's mutex.
struct FileStream {
    std::string path;         // "-" is standard input
    std::string name;         // the path as messages show it
    bool reopenable = false;  // a regular file named by its path: opened afresh to probe, rewind
    bool rewindable = false;  // a regular file (or standard input from one) libsndfile can seek in
    int descriptor = -1;      // opened here for a path that is not a regular file
    PipeReplay replay;        // for a FLAC through a pipe
    MpegWithoutLength mpeg;   // for an MPEG file without a stated frame count
    std::unique_ptr<InputRelay> relay;  // for an input that is no regular file
    SNDFILE* file = nullptr;
    SF_INFO info{};
    sf_count_t promised = SF_COUNT_MAX;  // frames the header vouches for; SF_COUNT_MAX unknown
    bool cutOff = false;                 // the file ends before its container does
    SRC_STATE* converter = nullptr;      // null when the file is at the capture rate
    double ratio = 1.0;                  // capture rate / file rate
    std::unique_ptr<float[]> frames;     // readFrames x channels interleaved samples
    int readFrames = 0;                  // file frames read per step
    float mono[kReadFrames];             // mixed frames, the unconverted ones from monoFirst
    int16_t samples[kReadFrames];        // direct: the frames read, in place of mono
    int monoFirst = 0;
    int monoCount = 0;
    float converted[kConvertFrames];   // one converter step's output
    int16_t pending[kPendingSamples];  // samples for the next buffers, from pendingFirst
    int pendingFirst = 0;
    int pendingCount = 0;
    sf_count_t framesRead = 0;       // file frames decoded so far
    bool inputEnded = false;         // no more file frames: the end, or a failure
    bool direct = false;             // read as 16-bit samples into `samples` (DirectReadable)
    bool ended = false;              // nothing more comes out; pending holds the rest
    bool failed = false;             // the file could not be read to its end
    char failure[kDetailSize] = "";  // why, after the name

    FileStream() = default;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream() {
        if (converter != nullptr) src_delete(converter);
        if (file != nullptr) sf_close(file);
        relay.reset();  // before the descriptor it reads is closed, and its number reused
        if (descriptor >= 0) close(descriptor);
        if (mpeg.fd >= 0) close(mpeg.fd);
    }
};

// Guarded by source.mutex while the source is open.
struct AudioFileRecord {
    SourceThread source;
    std::unique_ptr<FileStream> stream;  // null until a file is loaded
    unsigned rate = 0;                   // samples per second
    long long length = -1;               // samples the file gives at `rate`; -1 unknown
    AudioFilePacing pacing = AudioFilePacing::kRealTime;
    long long position = 0;          // samples delivered since the stream (re)started
    double startSeconds = 0.0;       // where the next opening starts (StartAudioFileAt)
    SourceClock::time_point origin;  // when sample 0 would have been recorded (real time)
};
AudioFileRecord AudioFile;

// The text of a reason after the file's name, on one line whatever libsndfile says.
void FormatDetail(char* detail, const char* format, va_list arguments) {
    std::vsnprintf(detail, kDetailSize, format, arguments);
    for (char* c = detail; *c != '\0'; c++) {
        if (static_cast<unsigned char>(*c) < 0x20) *c = ' ';
    }
}

// "NAME: detail", the name escaped and whole.
void SetReason(std::string* reason, const std::string& name, const char* format, ...) {
    char detail[kDetailSize];
    va_list arguments;
    va_start(arguments, format);
    FormatDetail(detail, format, arguments);
    va_end(arguments);
    if (reason != nullptr) *reason = name + ": " + detail;
}

// Ends the input for good: what was decoded before plays out, then the stream ends.
void Fail(FileStream& s, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatDetail(s.failure, format, arguments);
    va_end(arguments);
    s.failed = true;
    s.inputEnded = true;
}

// Added to and taken from a float below 2^22 in magnitude, rounds it to an integer as lrint
// does (to nearest, ties to even): the sum lies where floats are whole numbers.
constexpr float kRoundingMagic = 12582912.0f;  // 1.5 x 2^23

// Float samples (full scale 1.0) as 16 bits, rounded; NaN is silence, the rest is clipped.
// Written without calls or branches, so that the loop vectorises.
void ToSamples(const float* values, int n, int16_t* out) {
    for (int i = 0; i < n; i++) {
        float scaled = values[i] * 32768.0f;
        scaled = scaled == scaled ? scaled : 0.0f;
        scaled = scaled >= 32767.0f ? 32767.0f : scaled;
        scaled = scaled <= -32768.0f ? -32768.0f : scaled;
        out[i] = static_cast<int16_t>(static_cast<int>((scaled + kRoundingMagic) - kRoundingMagic));
    }
}

// True when a read gave `n` frames; otherwise the input has ended, and a file that is
// damaged, or holds fewer frames than its header promised, has failed.
bool ReadGave(FileStream& s, sf_count_t n) {
    if (sf_error(s.file) != SF_ERR_NO_ERROR) {
        Fail(s, "damaged or truncated after %" PRId64 " of %" PRId64 " frames (%s)",
             static_cast<int64_t>(s.framesRead), static_cast<int64_t>(s.info.frames),
             sf_strerror(s.file));
        return false;
    }
    if (n <= 0) {
        s.inputEnded = true;
        // The frame count comes from the header; a file holding fewer frames was cut short.
        if (s.promised != SF_COUNT_MAX && s.framesRead < s.promised) {
            Fail(s, "truncated: %" PRId64 " of %" PRId64 " frames",
                 static_cast<int64_t>(s.framesRead), static_cast<int64_t>(s.promised));
        } else if (s.cutOff) {
            Fail(s, "truncated after %" PRId64 " frames: the Ogg stream has no last page",
                 static_cast<int64_t>(s.framesRead));
        }
        return false;
    }
    return true;
}

// A mono file of 16-bit PCM at the capture rate, in a container whose samples libsndfile
// reads as floats by multiplying by 2^-15: rounding them back gives the 16-bit samples
// themselves, so they can be read as such, without the floats.
bool DirectReadable(const SF_INFO& info, unsigned rate) {
    if (info.channels != 1 || info.samplerate != static_cast<int>(rate)) return false;
    if ((info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) return false;
    switch (info.format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_W64:
        case SF_FORMAT_RF64:
        case SF_FORMAT_AIFF:
        case SF_FORMAT_AU:
        case SF_FORMAT_CAF:
        case SF_FORMAT_RAW:
            return true;
        default:
            return false;
    }
}

// Reads and mixes the next file frames into mono (direct: reads them into samples); at the
// end checks the count the header promised. Only when mono is used up.
void ReadFrames(FileStream& s) {
    if (s.direct) {
        const sf_count_t n = sf_readf_short(s.file, s.samples, s.readFrames);
        if (!ReadGave(s, n)) return;
        s.monoFirst = 0;
        s.monoCount = static_cast<int>(n);
        s.framesRead += n;
        return;
    }
    const int channels = s.info.channels;
    const sf_count_t n = sf_readf_float(s.file, s.frames.get(), s.readFrames);
    if (!ReadGave(s, n)) return;
    // Each frame's channels summed from 0.0 in order, then divided by their count. Channel by
    // channel across the frames, so that the loops vectorise; the sums are the same.
    const float* frames = s.frames.get();
    for (sf_count_t i = 0; i < n; i++)
        s.mono[i] = 0.0f;
    for (int c = 0; c < channels; c++) {
        for (sf_count_t i = 0; i < n; i++)
            s.mono[i] += frames[i * channels + c];
    }
    for (sf_count_t i = 0; i < n; i++)
        s.mono[i] /= static_cast<float>(channels);
    s.monoFirst = 0;
    s.monoCount = static_cast<int>(n);
    s.framesRead += n;
}

// One step: up to `space` more samples at the end of pending.
void Produce(FileStream& s, int space) {
    if (s.monoCount == 0 && !s.inputEnded) {
        ReadFrames(s);
        return;
    }
    int16_t* out = s.pending + s.pendingFirst + s.pendingCount;
    if (s.converter == nullptr) {
        const int n = std::min(s.monoCount, space);
        if (s.direct) {
            std::memcpy(out, s.samples + s.monoFirst, sizeof(int16_t) * static_cast<size_t>(n));
        } else {
            ToSamples(s.mono + s.monoFirst, n, out);
        }
        s.monoFirst += n;
        s.monoCount -= n;
        s.pendingCount += n;
        if (s.monoCount == 0 && s.inputEnded) s.ended = true;
        return;
    }
    // The converter's output does not depend on how its input and output are divided into
    // calls, so this gives what one call over the whole file would.
    SRC_DATA data{};
    data.data_in = s.mono + s.monoFirst;
    data.input_frames = s.monoCount;
    data.data_out = s.converted;
    data.output_frames = std::min(space, kConvertFrames);
    data.end_of_input = s.inputEnded ? 1 : 0;
    data.src_ratio = s.ratio;
    const int error = src_process(s.converter, &data);
    if (error != 0) {
        Fail(s, "%s", src_strerror(error));
        s.ended = true;
        return;
    }
    ToSamples(s.converted, static_cast<int>(data.output_frames_gen), out);
    s.pendingCount += static_cast<int>(data.output_frames_gen);
    s.monoFirst += static_cast<int>(data.input_frames_used);
    s.monoCount -= static_cast<int>(data.input_frames_used);
    if (data.output_frames_gen == 0 && data.input_frames_used == 0) {
        // At the end that is the last of the output; before it the converter would be stuck.
        if (!s.inputEnded) Fail(s, "the sample rate converter stalled");
        s.ended = true;
    }
}

// Decodes until pending holds `wanted` samples (at most its size) or the stream has ended.
void Ensure(FileStream& s, long long wanted) {
    const int target = static_cast<int>(std::min<long long>(wanted, kPendingSamples));
    while (s.pendingCount < target && !s.ended) {
        if (s.pendingFirst > 0) {
            std::memmove(s.pending, s.pending + s.pendingFirst, s.pendingCount * sizeof(int16_t));
            s.pendingFirst = 0;
        }
        Produce(s, kPendingSamples - s.pendingCount);
    }
}

// True for a path that names a regular file, which can be opened again from its start (a
// pipe or a terminal would give other bytes, or none).
bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Back to the file's first frame, primed as LoadAudioFile leaves it. The file is opened
// afresh, so that it reads as it did at load: after damage a decoder does not seek (FLAC),
// some decoders cannot seek at all (G.721 ADPCM), and where a malformed header puts the data
// (an AU data offset inside the header) libsndfile reads from one place after opening and
// from another after seeking to frame 0. Only standard input from a file, an MPEG file read
// to its end, and a file that is gone, are sought back instead. False when the input cannot
// be read again (a pipe), has changed, or the converter cannot be reset.
bool ReadMpegToItsEnd(FileStream& s);

bool Rewind(FileStream& s) {
    SF_INFO info{};
    SNDFILE* file = s.reopenable && s.mpeg.fd < 0 && IsRegularFile(s.path)
                        ? sf_open(s.path.c_str(), SFM_READ, &info)
                        : nullptr;
    if (file != nullptr) {
        if (info.frames != s.info.frames || info.channels != s.info.channels ||
            info.samplerate != s.info.samplerate || info.format != s.info.format) {
            sf_close(file);
            return false;
        }
        sf_close(s.file);
        s.file = file;
    } else if (s.mpeg.fd >= 0) {
        if (!ReadMpegToItsEnd(s)) return false;
    } else if (s.failed || !s.rewindable || sf_seek(s.file, 0, SEEK_SET) != 0) {
        return false;
    }
    if (s.converter != nullptr && src_reset(s.converter) != 0) return false;
    s.monoFirst = s.monoCount = 0;
    s.pendingFirst = s.pendingCount = 0;
    s.framesRead = 0;
    s.inputEnded = s.ended = s.failed = false;
    s.failure[0] = '\0';
    Ensure(s, 1);
    return s.pendingCount > 0;
}

// A header that promises more frames than the file holds (a cut-off FLAC) shows at once: its
// last frame cannot be reached. Read through a second handle, so that the stream itself
// starts from a freshly opened file; standard input and pipes cannot be opened again (that is
// found at their end instead).
bool LastFrameReadable(const FileStream& s, float* frame) {
    if (!s.reopenable || !s.info.seekable || s.promised <= 0 || s.promised == SF_COUNT_MAX)
        return true;
    SF_INFO info{};
    SNDFILE* probe = sf_open(s.path.c_str(), SFM_READ, &info);
    if (probe == nullptr) return false;
    const sf_count_t last = s.info.frames - 1;
    const bool readable = info.frames == s.info.frames && info.channels == s.info.channels &&
                          sf_seek(probe, last, SEEK_SET) == last &&
                          sf_readf_float(probe, frame, 1) == 1 &&
                          sf_error(probe) == SF_ERR_NO_ERROR;
    sf_close(probe);
    return readable;
}

// True when an MPEG audio file states its frame count: a Xing or Info frame with the count
// first (after any ID3v2 tag). Without one, the decoder estimates the length from the file's
// size and its first frame; at 44.1 and 22.05 kHz, whose frames differ in size by a padding
// byte, that estimate lies beyond the end.
bool MpegCountStated(int fd) {
    uint8_t bytes[64];
    long long start = 0;
    if (ReadAt(fd, 0, bytes, 10) == 10 && std::memcmp(bytes, "ID3", 3) == 0) {
        // Four 7-bit bytes of size, then a footer when flag 0x10 is set.
        start = 10 + (bytes[5] & 0x10 ? 10 : 0) +
                (static_cast<long long>(bytes[6] & 0x7f) << 21 | (bytes[7] & 0x7f) << 14 |
                 (bytes[8] & 0x7f) << 7 | (bytes[9] & 0x7f));
    }
    if (ReadAt(fd, start, bytes, sizeof bytes) != sizeof bytes) return false;
    if (bytes[0] != 0xff || (bytes[1] & 0xe0) != 0xe0) return false;
    const bool mpeg1 = (bytes[1] >> 3 & 3) == 3;
    const bool mono = (bytes[3] >> 6) == 3;
    const int sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const uint8_t* tag = bytes + 4 + sideInfo;
    return (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0) &&
           (tag[7] & 1) != 0;
}

// A descriptor of its own to read a regular input's bytes at any offset (standard input's
// too, without moving it); -1 for a pipe.
int OpenForInspection(const FileStream& s) {
    if (s.reopenable) return open(s.path.c_str(), O_RDONLY | O_CLOEXEC);
    return s.rewindable ? dup(0) : -1;
}

// Frames the header vouches for: what libsndfile reports, unless that is an estimate.
sf_count_t PromisedFrames(const FileStream& s) {
    if ((s.info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG) return s.info.frames;
    const int fd = OpenForInspection(s);
    if (fd < 0) return SF_COUNT_MAX;
    const bool stated = MpegCountStated(fd);
    close(fd);
    return stated ? s.info.frames : SF_COUNT_MAX;
}

// The Ogg page checksum: CRC-32 of polynomial 0x04c11db7, most significant bit first, over
// the page with its checksum field taken as zeros.
uint32_t OggChecksum(const uint8_t* page, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; i++) {
        crc ^= static_cast<uint32_t>(i >= 22 && i < 26 ? 0 : page[i]) << 24;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 0x80000000u) != 0 ? crc << 1 ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

// False when an Ogg file lacks its last page: the last whole page (the one with a good
// checksum that starts last) is not marked as the end of its stream. libsndfile plays such a
// file as far as it goes, taking its length from what is there. A page is at most 65307
// bytes, so the last whole one starts within twice that of the end.
bool OggHasLastPage(int fd) {
    constexpr size_t kMostPage = 27 + 255 + 255 * 255;
    struct stat status {};
    if (fstat(fd, &status) != 0) return true;
    const size_t size = static_cast<size_t>(std::min<off_t>(status.st_size, 2 * kMostPage));
    std::unique_ptr<uint8_t[]> tail(new (std::nothrow) uint8_t[size]);
    if (tail == nullptr ||
        ReadAt(fd, status.st_size - static_cast<off_t>(size), tail.get(), size) != size) {
        return true;  // not known: taken as whole
    }
    for (size_t at = size < 27 ? 0 : size - 27 + 1; at-- > 0;) {
        const uint8_t* page = tail.get() + at;
        if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0 || at + 27 + page[26] > size)
            continue;
        size_t length = 27 + page[26];
        for (int i = 0; i < page[26]; i++)
            length += page[27 + i];
        const uint32_t stored = static_cast<uint32_t>(page[22]) | page[23] << 8 | page[24] << 16 |
                                static_cast<uint32_t>(page[25]) << 24;
        if (at + length <= size && OggChecksum(page, length) == stored)
            return (page[5] & 0x04) != 0;  // end of stream
    }
    return true;
}

// An MPEG file without a stated frame count opened again (and rewound) through
// MpegWithoutLengthIo, so that it plays to its last frame; false when that fails.
bool ReadMpegToItsEnd(FileStream& s) {
    if ((s.info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG || s.promised != SF_COUNT_MAX)
        return true;
    if (s.mpeg.fd < 0) {
        s.mpeg.fd = OpenForInspection(s);
        if (s.mpeg.fd < 0) return true;  // a pipe: read to its end already
    }
    sf_close(s.file);
    s.mpeg.position = 0;
    s.file = sf_open_virtual(&MpegWithoutLengthIo, SFM_READ, &s.info, &s.mpeg);
    return s.file != nullptr;
}

// True when the container shows that the file was cut off, though its length does not.
bool ContainerCutOff(const FileStream& s) {
    if ((s.info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_OGG) return false;
    const int fd = OpenForInspection(s);
    if (fd < 0) return false;
    const bool cutOff = !OggHasLastPage(fd);
    close(fd);
    return cutOff;
}

// Samples the stream gives at `rate` for the promised frame count: the converter stops about
// where the input ends, give or take its own rounding of the last sample.
long long ConvertedLength(const FileStream& s, unsigned rate) {
    if (s.promised == SF_COUNT_MAX) return -1;
    if (s.info.samplerate == static_cast<int>(rate)) return s.promised;
    return static_cast<long long>(
        std::floor(static_cast<double>(s.promised) * rate / s.info.samplerate));
}

// Opens the input for libsndfile: a regular file by its path; standard input and other paths
// through a descriptor, a FLAC through a pipe by way of the replay. Null when that fails;
// `systemError` is then errno's value when the system refused the input itself, else 0.
SNDFILE* OpenInput(FileStream& s, int* systemError) {
    *systemError = 0;
    int fd = 0;
    if (s.path != "-") {
        // Not blocking: a FIFO without a writer is waited for by the relay, not in open().
        fd = open(s.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            *systemError = errno;
            return nullptr;
        }
        if (IsRegularFile(s.path)) {
            close(fd);
            s.reopenable = true;
            return sf_open(s.path.c_str(), SFM_READ, &s.info);
        }
        s.descriptor = fd;
    }
    struct stat status {};
    const bool known = fstat(fd, &status) == 0;
    if (known && S_ISDIR(status.st_mode)) {
        *systemError = EISDIR;
        return nullptr;
    }
    if (known && S_ISREG(status.st_mode)) {
        s.rewindable = true;
    } else {
        s.relay.reset(new (std::nothrow) InputRelay);
        fd = s.relay != nullptr ? s.relay->Start(fd) : -1;
        if (fd < 0) {
            *systemError = errno != 0 ? errno : ENOMEM;
            return nullptr;
        }
    }
    if (s.relay != nullptr && PipeStartsWithFlac(fd)) {
        s.replay.fd = fd;
        return sf_open_virtual(&ReplayIo, SFM_READ, &s.info, &s.replay);
    }
    return sf_open_fd(fd, SFM_READ, &s.info, SF_FALSE);
}

// Opens and checks the file and decodes its first chunk, to be converted to its own rate
// limited to lowest .. highest (that rate in *rate). Null with the reason written.
std::unique_ptr<FileStream> OpenStream(const char* path, const std::string& name, unsigned lowest,
                                       unsigned highest, unsigned* rate, std::string* reason) {
    std::unique_ptr<FileStream> s(new (std::nothrow) FileStream);
    if (s == nullptr) {
        SetReason(reason, name, "out of memory");
        return nullptr;
    }
    s->path = path;
    s->name = name;
    int systemError = 0;
    s->file = OpenInput(*s, &systemError);
    if (systemError != 0) {
        if (reason != nullptr) *reason = "cannot open " + name + ": " + std::strerror(systemError);
        return nullptr;
    }
    if (s->file == nullptr) {
        SetReason(reason, name, "not a readable audio file (%s)", sf_strerror(nullptr));
        return nullptr;
    }
    const SF_INFO& info = s->info;
    s->rewindable = (s->rewindable || s->reopenable) && info.seekable;
    s->promised = PromisedFrames(*s);
    if (!ReadMpegToItsEnd(*s)) {
        SetReason(reason, name, "not a readable audio file (%s)", sf_strerror(nullptr));
        return nullptr;
    }
    s->cutOff = ContainerCutOff(*s);
    if (info.channels < 1 || info.samplerate < 1) {
        SetReason(reason, name, "unsupported: %d channels at %d Hz", info.channels,
                  info.samplerate);
        return nullptr;
    }
    *rate = std::clamp(static_cast<unsigned>(info.samplerate), lowest, highest);
    if (info.samplerate != static_cast<int>(*rate)) {
        s->ratio = static_cast<double>(*rate) / info.samplerate;
        if (!src_is_valid_ratio(s->ratio)) {
            SetReason(reason, name, "unsupported sample rate %d Hz", info.samplerate);
            return nullptr;
        }
        int error = 0;
        s->converter = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error);
        if (s->converter == nullptr) {
            SetReason(reason, name, "%s", src_strerror(error));
            return nullptr;
        }
    }
    s->direct = DirectReadable(info, *rate);
    s->readFrames = std::clamp(kReadSamples / info.channels, 1, kReadFrames);
    s->frames.reset(new (std::nothrow) float[static_cast<size_t>(s->readFrames) * info.channels]);
    if (s->frames == nullptr) {
        SetReason(reason, name, "out of memory");
        return nullptr;
    }
    if (!LastFrameReadable(*s, s->frames.get())) {
        SetReason(reason, name,
                  "damaged or truncated: frame %" PRId64 " of %" PRId64 " cannot be read",
                  static_cast<int64_t>(s->promised), static_cast<int64_t>(s->promised));
        return nullptr;
    }
    Ensure(*s, 1);
    if (s->failed) {
        SetReason(reason, name, "%s", s->failure);
        return nullptr;
    }
    if (s->pendingCount == 0) {
        SetReason(reason, name, "holds no audio");
        return nullptr;
    }
    return s;
}

// Whole seconds apart, so that a stream of days does not overflow the nanoseconds.
std::chrono::nanoseconds Duration(long long samples) {
    const long long rate = AudioFile.rate;
    return std::chrono::seconds(samples / rate) +
           std::chrono::nanoseconds(samples % rate * 1000000000 / rate);
}

// Samples of the next buffer of `capacity` samples: decodes ahead so that a short last
// buffer is known (for buffers longer than pending, it is taken as full).
long long NextTake(uint32_t capacity) {
    FileStream& s = *AudioFile.stream;
    Ensure(s, capacity);
    return s.ended ? std::min<long long>(capacity, s.pendingCount) : capacity;
}

bool StreamDone() {
    return AudioFile.stream->ended && AudioFile.stream->pendingCount == 0;
}

SourceClock::time_point FileNextDue(uint32_t bytes) {
    if (StreamDone()) return SourceClock::time_point::max();
    if (AudioFile.pacing != AudioFilePacing::kRealTime) return SourceClock::time_point::min();
    const long long take = NextTake(bytes / kBytesPerSample);
    return AudioFile.origin + Duration(AudioFile.position + take);
}

void FileFill(WaveHeader& header) {
    FileStream& s = *AudioFile.stream;
    const uint32_t capacity = header.dwBufferLength / kBytesPerSample;
    uint32_t filled = 0;
    while (filled < capacity) {
        Ensure(s, capacity - filled);
        if (s.pendingCount == 0) break;
        const uint32_t n = std::min<uint32_t>(capacity - filled, s.pendingCount);
        std::memcpy(header.lpData + filled * kBytesPerSample, s.pending + s.pendingFirst,
                    n * kBytesPerSample);
        s.pendingFirst += static_cast<int>(n);
        s.pendingCount -= static_cast<int>(n);
        filled += n;
    }
    header.dwBytesRecorded = filled * kBytesPerSample;
    AudioFile.position += filled;
    // Looks one sample ahead, so that the end is known as soon as the last one is out.
    Ensure(s, 1);
}

// Decodes and drops the samples before `samples`, counting them as delivered.
void SkipTo(FileStream& s, long long samples) {
    while (AudioFile.position < samples) {
        Ensure(s, std::min<long long>(samples - AudioFile.position, kPendingSamples));
        if (s.pendingCount == 0) return;
        const int n =
            static_cast<int>(std::min<long long>(samples - AudioFile.position, s.pendingCount));
        s.pendingFirst += n;
        s.pendingCount -= n;
        AudioFile.position += n;
    }
}

// Resumes without catching up on the time spent stopped.
void FileStarted() {
    AudioFile.origin = SourceClock::now() - Duration(AudioFile.position);
}

bool FileOpen(const WaveFormat& format, const AudioSourceClient& client) {
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (AudioFile.stream == nullptr || format.wFormatTag != kWaveFormatPcm ||
            format.nChannels != 1 || format.wBitsPerSample != 16 ||
            format.nSamplesPerSec != AudioFile.rate) {
            return false;
        }
        // Each opening plays the file from its start, or from where StartAudioFileAt says.
        if (AudioFile.position > 0) {
            if (!Rewind(*AudioFile.stream)) return false;
            AudioFile.position = 0;
        }
        const double start = AudioFile.startSeconds;
        AudioFile.startSeconds = 0.0;
        if (start > 0.0) {
            SkipTo(*AudioFile.stream, static_cast<long long>(start * AudioFile.rate));
        }
    }
    const SourceThreadHooks hooks{FileNextDue, FileFill, FileStarted, true};
    if (AudioFile.pacing == AudioFilePacing::kPulled) {
        return OpenPulledSource(AudioFile.source, client, hooks);
    }
    return OpenSourceThread(AudioFile.source, client, hooks);
}

}  // namespace

const AudioSource AudioFileSource = SourceThreadTable<AudioFile>(
    FileOpen, [](uint32_t bytes) { SetSourceFragment(AudioFile.source, bytes); });

bool LoadAudioFile(const char* path, unsigned captureRate, AudioFilePacing pacing,
                   std::string* reason) {
    return LoadAudioFileNearItsRate(path, captureRate, captureRate, pacing, reason);
}

bool LoadAudioFileNearItsRate(const char* path, unsigned lowest, unsigned highest,
                              AudioFilePacing pacing, std::string* reason) {
    const std::string name = PrintableFileName(path);
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (AudioFile.source.open) {
            SetReason(reason, name, "the audio file source is in use");
            return false;
        }
    }
    if (path == nullptr) {
        SetReason(reason, name, "not a readable audio file");
        return false;
    }
    if (lowest == 0 || highest < lowest) {
        SetReason(reason, name, "no capture rate");
        return false;
    }
    unsigned captureRate = 0;
    std::unique_ptr<FileStream> stream =
        OpenStream(path, name, lowest, highest, &captureRate, reason);
    if (stream == nullptr) return false;
    const long long length = ConvertedLength(*stream, captureRate);
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (AudioFile.source.open) {
            SetReason(reason, name, "the audio file source is in use");
            return false;
        }
        std::swap(AudioFile.stream, stream);
        AudioFile.rate = captureRate;
        AudioFile.length = length;
        AudioFile.pacing = pacing;
        AudioFile.position = 0;
        AudioFile.startSeconds = 0.0;
    }
    return true;  // the previous file closes here, outside the lock
}

bool PullAudioFileBuffer() {
    return PullSourceBuffer(AudioFile.source);
}

bool AudioFileGoesOn(long long samples) {
    std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
    if (AudioFile.stream == nullptr) return false;
    FileStream& s = *AudioFile.stream;
    // Topped up to the full, so that the pending samples are moved up only now and then. A
    // pipe is not read ahead: its writer may be live, and the run would wait for it.
    if (s.pendingCount < samples && s.rewindable) Ensure(s, kPendingSamples);
    return s.pendingCount >= samples;
}

bool AudioFileFinished() {
    AudioSourceClient client;
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (!AudioFile.source.open || !StreamDone() || AudioFile.source.inClient > 0 ||
            AudioFile.source.delivering) {
            return false;
        }
        client = AudioFile.source.client;
    }
    return client.readerDrained(client.context);
}

bool AudioFileFailed(std::string* reason) {
    std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
    if (AudioFile.stream == nullptr || !AudioFile.stream->failed) return false;
    SetReason(reason, AudioFile.stream->name, "%s", AudioFile.stream->failure);
    return true;
}

long long AudioFileFrames() {
    std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
    return AudioFile.stream == nullptr ? -1 : AudioFile.length;
}

unsigned AudioFileOwnRate() {
    std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
    return AudioFile.stream == nullptr ? 0
                                       : static_cast<unsigned>(AudioFile.stream->info.samplerate);
}

double AudioFileSeconds() {
    std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
    return AudioFile.rate > 0 ? double(AudioFile.position) / double(AudioFile.rate) : 0.0;
}

void StartAudioFileAt(double seconds) {
    std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
    // Beyond a day, or not a number: from the start (the conversion to samples must fit).
    AudioFile.startSeconds = seconds > 0.0 && seconds < 86400.0 ? seconds : 0.0;
}
