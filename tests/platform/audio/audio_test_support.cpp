// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/audio/audio_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/scratch_folder.h"

void (*TurnWhileWaiting)(int ms) = nullptr;

CollectingClient::CollectingClient(const AudioSource& source, int count, uint32_t size)
    : source_(source), memory_(count, std::vector<uint8_t>(size)), headers_(count) {}

AudioSourceClient CollectingClient::Client() {
    return AudioSourceClient{this, Return, ReaderDrained, handOver ? Take : nullptr};
}

void CollectingClient::Add(int j) {
    headers_[j] = WaveHeader{memory_[j].data(), static_cast<uint32_t>(memory_[j].size()), 0,
                             static_cast<uintptr_t>(j)};
    source_.addBuffer(&headers_[j]);
}

void CollectingClient::AddAll() {
    for (size_t j = 0; j < headers_.size(); j++)
        Add(static_cast<int>(j));
}

bool CollectingClient::Record(const WaveFormat& format, int count) {
    if (!source_.open(format, Client())) return false;
    AddAll();
    source_.start();
    const bool returned = WaitForReturned(count, kPatientWaitMs);
    source_.reset();
    source_.close();
    return returned;
}

void CollectingClient::Take(void* context, WaveHeader* header, bool more) {
    CollectingClient& self = *static_cast<CollectingClient*>(context);
    {
        std::lock_guard<std::mutex> guard(self.mutex_);
        self.more_.push_back(more);
    }
    Return(context, header);
}

void CollectingClient::Return(void* context, WaveHeader* header) {
    CollectingClient& self = *static_cast<CollectingClient*>(context);
    {
        std::lock_guard<std::mutex> guard(self.mutex_);
        if (self.more_.size() < self.order_.size() + 1) self.more_.push_back(false);
        self.order_.push_back(header->dwUser);
        self.recorded_.push_back(header->dwBytesRecorded);
        const uint32_t n = std::min(header->dwBytesRecorded, header->dwBufferLength);
        self.bytes_.insert(self.bytes_.end(), header->lpData, header->lpData + n);
        self.threads_.push_back(std::this_thread::get_id());
    }
    self.changed_.notify_all();
    if (self.requeue) self.source_.addBuffer(header);
}

std::vector<int16_t> PlayPulled(const AudioSource& source, bool (*pull)(), const WaveFormat& format,
                                void (*atEnd)()) {
    CollectingClient collector(source, 4, 2048);
    collector.requeue = true;
    if (!source.open(format, collector.Client())) {
        ADD_FAILURE() << "the source does not open";
        return {};
    }
    collector.AddAll();
    source.start();
    while (pull()) {
    }
    if (atEnd != nullptr) atEnd();
    source.reset();
    source.close();
    return Samples(collector.Bytes());  // recorded bytes only: the last buffer is partly filled
}

bool CollectingClient::ReaderDrained(void* context) {
    return static_cast<CollectingClient*>(context)->drained;
}

bool CollectingClient::WaitForReturned(int count, int timeoutMs) {
    if (TurnWhileWaiting != nullptr) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Returned() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            TurnWhileWaiting(10);
        }
        return true;
    }
    std::unique_lock<std::mutex> guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return static_cast<int>(order_.size()) >= count; });
}

int CollectingClient::Returned() {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(order_.size());
}

std::vector<uintptr_t> CollectingClient::Order() {
    std::lock_guard<std::mutex> guard(mutex_);
    return order_;
}

std::vector<uint32_t> CollectingClient::Recorded() {
    std::lock_guard<std::mutex> guard(mutex_);
    return recorded_;
}

std::vector<bool> CollectingClient::More() {
    std::lock_guard<std::mutex> guard(mutex_);
    return more_;
}

std::vector<uint8_t> CollectingClient::Bytes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return bytes_;
}

bool CollectingClient::ReturnedOnOtherThreads(std::thread::id caller) {
    std::lock_guard<std::mutex> guard(mutex_);
    return std::find(threads_.begin(), threads_.end(), caller) == threads_.end();
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

const std::string& AudioTestFolder() {
    static const ScratchFolder folder("quillo-audio-test");
    static const std::string path = folder.Path() + "/";
    return path;
}

std::string OddFolder(std::string* shown) {
    const std::string levels[][2] = {{"quillo_odd_" + std::string(240, 'a'), ""},
                                     {std::string(240, 'b'), ""},
                                     {"new\nline \x1b[31mred\\", "new\\nline \\e[31mred\\\\"}};
    std::string path = AudioTestFolder();
    *shown = path;
    for (const auto& level : levels) {
        path += level[0] + "/";
        *shown += (level[1].empty() ? level[0] : level[1]) + "/";
        EXPECT_TRUE(mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) << path;
    }
    return path;
}
