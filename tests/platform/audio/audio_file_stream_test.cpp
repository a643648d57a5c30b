// SPDX-License-Identifier: GPL-3.0-or-later
// The file source decodes as it plays: what it delivers must be, sample for sample, one
// conversion of the whole file; damage found while playing ends the stream with a reason;
// cut-off files are refused at load where their header gives them away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audio_sources.h"
#include "tests/platform/audio/audio_test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr unsigned kRate = 22050;

std::string TempPath(const std::string& name) {
    return AudioTestFolder() + "quillo_audio_stream_" + name;
}

// A tone with deterministic noise on every channel, `peak` at most; frames interleaved.
std::vector<float> Signal(int frames, int channels, int rate, double peak) {
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    uint32_t noise = 12345;
    for (int k = 0; k < frames; k++) {
        for (int c = 0; c < channels; c++) {
            noise = noise * 1664525u + 1013904223u;
            const double random = static_cast<double>(noise >> 8) / (1 << 24) - 0.5;
            const double tone = std::sin(2 * kPi * (300.0 + 100 * c) * k / rate);
            samples[static_cast<size_t>(k) * channels + c] =
                static_cast<float>(peak * (0.7 * tone + 0.6 * random));
        }
    }
    return samples;
}

// The same with values no 16-bit sample can hold on channel 0: NaN, infinities, 3e38.
std::vector<float> SignalWithNonFinite(int frames, int channels, int rate) {
    std::vector<float> samples = Signal(frames, channels, rate, 0.9);
    const float specials[] = {std::nanf(""), HUGE_VALF, -HUGE_VALF, 3e38f, -3e38f};
    for (int i = 0; i < 5; i++)
        samples[static_cast<size_t>(frames / 6 * (i + 1)) * channels] = specials[i];
    return samples;
}

// `constantBitRate` for a compressed format: as most MP3 encoders write them.
std::string WriteFile(const std::string& name, int format, int rate, int channels,
                      const std::vector<float>& samples, bool constantBitRate = false) {
    const std::string path = TempPath(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
    if (file == nullptr) return path;
    int mode = SF_BITRATE_MODE_CONSTANT;
    if (constantBitRate) sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
    return path;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The reference: the whole file read at once, its channels averaged in float, converted by
// one libsamplerate call over all of it, rounded to 16 bits with clipping (NaN as silence).
std::vector<int16_t> WholeFileConversion(const std::string& path, unsigned rate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr);
    if (file == nullptr) return {};
    // Read to the end, whatever the header says: an MP3's count may be an estimate.
    std::vector<float> frames;
    std::vector<float> chunk(4096 * static_cast<size_t>(info.channels));
    sf_count_t n;
    while ((n = sf_readf_float(file, chunk.data(), 4096)) > 0)
        frames.insert(frames.end(), chunk.begin(), chunk.begin() + n * info.channels);
    EXPECT_EQ(sf_error(file), SF_ERR_NO_ERROR);
    sf_close(file);
    std::vector<float> mono(frames.size() / info.channels);
    for (size_t i = 0; i < mono.size(); i++) {
        float sum = 0.0f;
        for (int c = 0; c < info.channels; c++)
            sum += frames[i * info.channels + c];
        mono[i] = sum / static_cast<float>(info.channels);
    }
    std::vector<float> converted = mono;
    if (info.samplerate != static_cast<int>(rate)) {
        const double ratio = static_cast<double>(rate) / info.samplerate;
        converted.assign(static_cast<size_t>(static_cast<double>(mono.size()) * ratio) + 4096, 0);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = converted.data();
        data.output_frames = static_cast<long>(converted.size());
        data.end_of_input = 1;
        data.src_ratio = ratio;
        EXPECT_EQ(src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1), 0);
        EXPECT_EQ(data.input_frames_used, static_cast<long>(mono.size()));
        EXPECT_LT(data.output_frames_gen, static_cast<long>(converted.size()));  // room left
        converted.resize(static_cast<size_t>(data.output_frames_gen));
    }
    std::vector<int16_t> samples;
    for (const float v : converted) {
        const float scaled = v * 32768.0f;
        samples.push_back(std::isnan(v)         ? int16_t{0}
                          : scaled >= 32767.0f  ? int16_t{32767}
                          : scaled <= -32768.0f ? int16_t{-32768}
                                                : static_cast<int16_t>(std::lrint(scaled)));
    }
    return samples;
}

std::vector<int16_t> PlayLoadedFile() {
    return PlayPulled(AudioFileSource, PullAudioFileBuffer,
                      WaveFormat{kWaveFormatPcm, 1, kRate, 2 * kRate, 2, 16, 0},
                      [] { EXPECT_TRUE(AudioFileFinished()); });
}

bool Load(const std::string& path, std::string* reason) {
    return LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, reason);
}

// Writes a fuzzer's input to a temporary file of this name; its path.
template <size_t N>
std::string WriteFuzzInput(const char* name, const uint8_t (&bytes)[N]) {
    const std::string path = TempPath(name);
    WriteBytes(path, std::string(reinterpret_cast<const char*>(bytes), N));
    return path;
}

TEST(AudioFileStreamTest, DeliversExactlyOneConversionOfTheWholeFileInEveryFormatAndRate) {
    const struct {
        const char* name;
        int format;
        int rate;
        int channels;
        int frames;
        double peak;  // beyond 1.0 the float file clips; 0 for non-finite values
    } cases[] = {
        {"u8_8000.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1, 10007, 0.9},
        {"s16_44100_stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 30011, 0.9},
        {"float_48000_3ch.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 48000, 3, 20000, 1.3},
        {"s24_22050.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 22050, 1, 5000, 1.0},
        {"s16_87.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 87, 1, 400, 0.9},
        {"vorbis_32000_stereo.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 32000, 2, 24000, 0.8},
        {"nonfinite_22050.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 1, 6000, 0},
        {"nonfinite_44100_stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 12000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            WriteFile(c.name, c.format, c.rate, c.channels,
                      c.peak > 0 ? Signal(c.frames, c.channels, c.rate, c.peak)
                                 : SignalWithNonFinite(c.frames, c.channels, c.rate));
        const std::vector<int16_t> expected = WholeFileConversion(path, kRate);
        std::string reason;
        ASSERT_TRUE(Load(path, &reason)) << reason;
        EXPECT_NEAR(static_cast<double>(AudioFileFrames()), static_cast<double>(expected.size()),
                    1.0);
        const std::vector<int16_t> played = PlayLoadedFile();
        ASSERT_EQ(played.size(), expected.size());
        EXPECT_EQ(played, expected);
        if (c.peak == 0) {  // the non-finite values are there: silence and both clipped ends
            EXPECT_NE(std::find(played.begin(), played.end(), 32767), played.end());
            EXPECT_NE(std::find(played.begin(), played.end(), -32768), played.end());
        }
        // Played again from the start after a full play-through.
        EXPECT_EQ(PlayLoadedFile(), expected);
        EXPECT_FALSE(AudioFileFailed(&reason));
    }
}

// A FLAC whose header and last frame are sound but whose middle is damaged: only playing
// finds the damage.
TEST(AudioFileStreamTest, DamageFoundWhilePlayingEndsTheStreamAfterWhatWasDecodedWithAReason) {
    const std::string whole = WriteFile("whole.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2,
                                        Signal(88200, 2, 44100, 0.9));
    std::string bytes = ReadBytes(whole);
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 300; i++)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    std::string shown;  // the reason names it escaped and whole, past 512 bytes
    const std::string damaged = OddFolder(&shown) + "damaged.flac";
    WriteBytes(damaged, bytes);
    const std::vector<int16_t> intact = WholeFileConversion(whole, kRate);

    std::string reason;
    ASSERT_TRUE(Load(damaged, &reason)) << reason;
    EXPECT_FALSE(AudioFileFailed(&reason));
    for (int round = 0; round < 2; round++) {  // found again when the source reopens
        SCOPED_TRACE(round);
        const std::vector<int16_t> played = PlayLoadedFile();
        ASSERT_TRUE(AudioFileFailed(&reason));
        const std::string said = reason;
        EXPECT_EQ(said.rfind(shown + "damaged.flac: damaged or truncated after ", 0), 0u) << said;
        EXPECT_NE(said.find(" of 88200 frames"), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), std::string::npos) << said;
        // What was decoded before the damage, converted as in the intact file except for the
        // converter's last few samples, which see the input end there.
        ASSERT_GT(played.size(), 8192u);
        ASSERT_LT(played.size(), intact.size() / 2);
        const size_t same = played.size() - 200;
        EXPECT_EQ(std::vector<int16_t>(played.begin(), played.begin() + same),
                  std::vector<int16_t>(intact.begin(), intact.begin() + same));
    }
}

TEST(AudioFileStreamTest, CutOffFlacIsRefusedAtLoadAndCutOffWavPlaysWhatItHolds) {
    const std::vector<float> signal = Signal(44100, 2, 44100, 0.9);
    const std::string flac =
        WriteFile("cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, signal);
    WriteBytes(flac, ReadBytes(flac).substr(0, ReadBytes(flac).size() * 3 / 4));
    const std::string wav =
        WriteFile("cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, signal);
    WriteBytes(wav, ReadBytes(wav).substr(0, 44 + 4 * 30001 + 2));  // and half a frame
    const std::string empty =
        WriteFile("empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, {});

    std::string reason;
    EXPECT_FALSE(Load(flac, &reason));
    EXPECT_EQ(std::string(reason),
              flac + ": damaged or truncated: frame 44100 of 44100 cannot be read");
    EXPECT_FALSE(Load(empty, &reason));
    EXPECT_EQ(std::string(reason), empty + ": holds no audio");

    ASSERT_TRUE(Load(wav, &reason)) << reason;
    const std::vector<int16_t> expected = WholeFileConversion(wav, kRate);
    EXPECT_NEAR(static_cast<double>(expected.size()), 30001 / 2.0, 1.0);
    EXPECT_NEAR(static_cast<double>(AudioFileFrames()), static_cast<double>(expected.size()), 1.0);
    EXPECT_EQ(PlayLoadedFile(), expected);
    EXPECT_FALSE(AudioFileFailed(&reason));
}

// libsndfile plays an Ogg cut off anywhere (within a page or between two) as far as it goes,
// with no error: only the missing end-of-stream page shows that the end is gone.
TEST(AudioFileStreamTest, CutOffOggPlaysWhatItHoldsThenReportsTheCut) {
    const std::string paths[] = {
        WriteFile("whole.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2,
                  Signal(5 * 44100, 2, 44100, 0.8)),
        WriteFile("whole.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 1,
                  Signal(5 * 48000, 1, 48000, 0.8)),
    };
    for (const std::string& whole : paths) {
        SCOPED_TRACE(whole);
        const std::string bytes = ReadBytes(whole);
        std::string reason;
        ASSERT_TRUE(Load(whole, &reason)) << reason;
        EXPECT_EQ(PlayLoadedFile(), WholeFileConversion(whole, kRate));
        EXPECT_FALSE(AudioFileFailed(&reason)) << reason;

        const size_t betweenPages = bytes.find("OggS", bytes.size() / 2);
        ASSERT_NE(betweenPages, std::string::npos);
        for (const size_t keep : {bytes.size() / 2 + 7, betweenPages}) {
            SCOPED_TRACE(keep);
            const std::string cut = whole + ".cut";
            WriteBytes(cut, bytes.substr(0, keep));
            const std::vector<int16_t> held = WholeFileConversion(cut, kRate);
            ASSERT_GT(held.size(), 10000u);
            for (int round = 0; round < 2; round++) {
                ASSERT_TRUE(Load(cut, &reason)) << reason;
                EXPECT_EQ(PlayLoadedFile(), held);
                ASSERT_TRUE(AudioFileFailed(&reason));
                EXPECT_EQ(std::string(reason).rfind(cut + ": truncated after ", 0), 0u) << reason;
                EXPECT_NE(std::string(reason).find(" frames: the Ogg stream has no last page"),
                          std::string::npos)
                    << reason;
            }
        }
    }
}

// Bytes of the MPEG-1 or -2 Layer III frame whose header starts at `header`.
size_t Mp3FrameBytes(const std::string& bytes, size_t header) {
    // Index 15 of the bit rates and 3 of the sample rates are not allowed: 0 here.
    static const int kMpeg1Kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                       112, 128, 160, 192, 224, 256, 320, 0};
    static const int kMpeg2Kbps[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                       64, 80, 96, 112, 128, 144, 160, 0};
    static const int kMpeg1Rates[4] = {44100, 48000, 32000, 0};
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[header + i]); };
    const bool mpeg1 = (byte(1) >> 3 & 3) == 3;
    const int* kbpsTable = mpeg1 ? kMpeg1Kbps : kMpeg2Kbps;
    const int kbps = kbpsTable[byte(2) >> 4];
    const int rate = kMpeg1Rates[byte(2) >> 2 & 3] / (mpeg1 ? 1 : 2);
    if (kbps == 0 || rate == 0) return 0;
    return (mpeg1 ? 144 : 72) * kbps * 1000 / rate + (byte(2) >> 1 & 1);
}

// An MP3 states its length in a Xing frame before the audio; without one (as sox and many
// encoders write them) the length is estimated from the first frame, and at 44.1 and 22.05 kHz,
// whose frames differ by a padding byte, the estimate lies beyond the end.
TEST(AudioFileStreamTest, Mp3sPlayWholeWithOrWithoutAStatedLengthAndCutOffOnesAreRefused) {
    for (const int rate : {44100, 22050, 48000}) {
        SCOPED_TRACE(rate);
        const std::string name = "tone" + std::to_string(rate);
        const std::string stated =
            WriteFile(name + ".mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, rate, 2,
                      Signal(2 * rate, 2, rate, 0.5), true);
        const std::string bytes = ReadBytes(stated);
        ASSERT_GT(bytes.size(), 1000u);
        ASSERT_EQ(bytes.substr(rate > 24000 ? 4 + 32 : 4 + 17, 4), "Info");  // after side info
        const std::string unstated = TempPath(name + "_no_xing.mp3");
        WriteBytes(unstated, bytes.substr(Mp3FrameBytes(bytes, 0)));
        const std::string cut = TempPath(name + "_cut.mp3");
        WriteBytes(cut, bytes.substr(0, bytes.size() * 2 / 3));

        std::string reason;
        for (const std::string& path : {stated, unstated}) {
            SCOPED_TRACE(path);
            const std::vector<int16_t> expected = WholeFileConversion(path, kRate);
            ASSERT_GT(expected.size(), 40000u);
            ASSERT_TRUE(Load(path, &reason)) << reason;
            EXPECT_EQ(PlayLoadedFile(), expected);
            EXPECT_FALSE(AudioFileFailed(&reason)) << reason;
            // An estimate is no promise: the length is known only where the file states it.
            if (path == stated) {
                EXPECT_NEAR(static_cast<double>(AudioFileFrames()),
                            static_cast<double>(expected.size()), 1.0);
            } else {
                EXPECT_EQ(AudioFileFrames(), -1);
            }
        }
        EXPECT_FALSE(Load(cut, &reason));
        EXPECT_EQ(std::string(reason), cut + ": damaged or truncated: frame " +
                                           std::to_string(2 * rate) + " of " +
                                           std::to_string(2 * rate) + " cannot be read");
    }
}

// Descriptor `fd` as standard input while it lives.
class StandardInputFrom {
  public:
    explicit StandardInputFrom(int fd) : saved_(dup(0)) { dup2(fd, 0); }
    ~StandardInputFrom() {
        dup2(saved_, 0);
        close(saved_);
    }

  private:
    int saved_;
};

// Loads `path` while a thread writes `bytes` to `writeTo` (a FIFO, or a pipe's descriptor),
// plays what it delivers and checks that it cannot be played again.
std::vector<int16_t> PlayThroughPipe(const std::string& path, const std::string& bytes,
                                     const std::string& fifo, int pipeEnd) {
    std::thread writer([&] {
        if (!fifo.empty()) {
            WriteBytes(fifo, bytes);
            return;
        }
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(pipeEnd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(pipeEnd);
    });
    std::string reason;
    std::vector<int16_t> played;
    if (Load(path, &reason)) {
        played = PlayLoadedFile();
        EXPECT_FALSE(AudioFileFailed(&reason)) << reason;
        CollectingClient collector(AudioFileSource, 1, 2048);
        EXPECT_FALSE(AudioFileSource.open(WaveFormat{kWaveFormatPcm, 1, kRate, 2 * kRate, 2, 16, 0},
                                          collector.Client()));
    } else {
        ADD_FAILURE() << reason;
    }
    // Whatever is unread goes with the next load's reader; a pipe's reader must be gone.
    EXPECT_TRUE(Load(TempPath("piped.wav"), &reason)) << reason;
    writer.join();
    return played;
}

// A pipe cannot seek: nothing is checked at its end, it plays as far as it goes, and once.
// libsndfile reads a FLAC through a pipe only when its first bytes can be read again; standard
// input is read by the one handle opened at load, a file behind it sought back to replay.
TEST(AudioFileStreamTest, PipesAndStandardInputPlayWholeAndAPipeOnce) {
    std::signal(SIGPIPE, SIG_IGN);  // a reader that gives up early fails the test, not the run
    const std::string paths[] = {
        WriteFile("piped.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
                  Signal(9000, 1, 44100, 0.9)),
        WriteFile("piped.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2,
                  Signal(3 * 44100, 2, 44100, 0.9)),
        WriteFile("piped.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 32000, 2,
                  Signal(24000, 2, 32000, 0.8)),
    };
    const std::string fifo = TempPath("pipe");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::vector<int16_t> expected = WholeFileConversion(path, kRate);
        const std::string bytes = ReadBytes(path);
        std::remove(fifo.c_str());
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        EXPECT_EQ(PlayThroughPipe(fifo, bytes, fifo, -1), expected);
        std::remove(fifo.c_str());

        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        {
            StandardInputFrom input(ends[0]);
            close(ends[0]);
            EXPECT_EQ(PlayThroughPipe("-", bytes, "", ends[1]), expected);
        }

        const int file = open(path.c_str(), O_RDONLY);
        ASSERT_GE(file, 0);
        StandardInputFrom input(file);
        close(file);
        std::string reason;
        ASSERT_TRUE(Load("-", &reason)) << reason;
        EXPECT_EQ(PlayLoadedFile(), expected);
        EXPECT_EQ(PlayLoadedFile(), expected);
        EXPECT_FALSE(AudioFileFailed(&reason)) << reason;
    }
}

// Found by fuzz/audio_file_fuzz.cpp: an AU header (16 channels of u-law at 8000 Hz) whose
// data offset, 12, lies inside the header. libsndfile reads its one frame from byte 24 after
// opening but from byte 12 after a seek to frame 0, so a replay that sought back differed.
TEST(AudioFileStreamTest, FuzzFoundAuWithItsDataInsideTheHeaderReplaysTheSame) {
    const uint8_t bytes[] = {0x2e, 0x73, 0x6e, 0x64, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x00,
                             0x00, 0xf0, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x1f, 0x40,
                             0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x47, 0x68, 0x1d, 0x14, 0x1a, 0xb3, 0x9e, 0x9d, 0x9f};
    const std::string path = WriteFuzzInput("fuzz_au_data_offset", bytes);
    std::string reason;
    ASSERT_TRUE(Load(path, &reason)) << reason;
    const std::vector<int16_t> first = PlayLoadedFile();
    EXPECT_NEAR(static_cast<double>(AudioFileFrames()), static_cast<double>(first.size()), 1.0);
    EXPECT_EQ(PlayLoadedFile(), first);
}

// Found by fuzz/audio_file_fuzz.cpp: one frame of a WAV at 147 Hz, converted 150 times up.
// The converter gives 149 samples, not the 150 that the ratio times the frames makes: the
// length from the header is only good to a sample.
TEST(AudioFileStreamTest, FuzzFoundOneFrameAt147HzConvertsAsTheWholeFileDoes) {
    const uint8_t bytes[] = {0x52, 0x49, 0x46, 0x46, 0x2a, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45,
                             0x66, 0x6d, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
                             0x93, 0x00, 0x00, 0x00, 0xae, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00,
                             0x64, 0x61, 0x74, 0x61, 0x06, 0x02, 0x3c, 0xff, 0x1a, 0xff};
    const std::string path = WriteFuzzInput("fuzz_wav_147hz", bytes);
    std::string reason;
    ASSERT_TRUE(Load(path, &reason)) << reason;
    const std::vector<int16_t> played = PlayLoadedFile();
    EXPECT_EQ(played, WholeFileConversion(path, kRate));
    EXPECT_NEAR(static_cast<double>(AudioFileFrames()), static_cast<double>(played.size()), 1.0);
    EXPECT_FALSE(AudioFileFailed(&reason));
}

// Found by fuzz/audio_file_fuzz.cpp: a G.721 ADPCM WAV (240 frames at 8000 Hz). libsndfile
// decodes it but cannot seek in it, so playing it a second time must open it afresh.
TEST(AudioFileStreamTest, FuzzFoundG721WavThatCannotSeekPlaysAgainTheSame) {
    const uint8_t bytes[] = {
        0x52, 0x49, 0x46, 0x46, 0x34, 0x01, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6d, 0x74,
        0x20, 0x14, 0x00, 0x00, 0x00, 0x40, 0x00, 0x01, 0x00, 0x40, 0x1f, 0x00, 0x00, 0xd7, 0x0f,
        0x00, 0x00, 0x00, 0x01, 0x04, 0x00, 0x02, 0x00, 0xf9, 0x01, 0x66, 0x61, 0x63, 0x74, 0x04,
        0x00, 0x00, 0x00, 0xf0, 0x00, 0x00, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x01, 0x00, 0x00,
        0x53, 0x03, 0x36, 0x00, 0x76, 0x01, 0xb0, 0xe0, 0xb9, 0xe1, 0x55, 0x00, 0x00, 0x13, 0x12,
        0x92, 0x05, 0x1a, 0xba, 0xd8, 0x89, 0x19, 0x30, 0x51, 0x32, 0x80, 0xa1, 0xaa, 0xbf, 0xc8,
        0x4a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88,
        0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x82, 0x88, 0x88, 0x88, 0x88,
        0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88};
    const std::string path = WriteFuzzInput("fuzz_wav_g721", bytes);
    std::string reason;
    ASSERT_TRUE(Load(path, &reason)) << reason;
    const std::vector<int16_t> first = PlayLoadedFile();
    EXPECT_EQ(first, WholeFileConversion(path, kRate));
    EXPECT_NEAR(static_cast<double>(AudioFileFrames()), static_cast<double>(first.size()), 1.0);
    EXPECT_EQ(PlayLoadedFile(), first);
    EXPECT_FALSE(AudioFileFailed(&reason));
}

}  // namespace
