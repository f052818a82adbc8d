// Plays a sequence through the frame cache as the viewer's player does, at the file's rate: each tick
// holds the frame on screen and asks for the frames the next ticks want, which the cache's worker
// reads ahead. Prints, every 50 frames and at the end, the bytes the cache holds against its budget,
// the process's resident memory, and how many frames a tick had to read itself.
#include "sequence/frame_sequence.h"
#include "support/allocator_tuning.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kib = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> kib)
            return kib;
        status.ignore(256, '\n');
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelnor-cache-memory FILE.ptv [BUDGET_MIB]\n");
        return 2;
    }
    keepLargeAllocations();
    const int64_t budget = int64_t(argc > 2 ? std::atoi(argv[2]) : 256) << 20;
    FrameSequence sequence(budget);
    QString error;
    if (!sequence.open(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const auto interval = std::chrono::duration<double>(1.0 / double(sequence.frameRate()));
    const int frames = sequence.framesFound();
    std::printf("before: resident %ld KiB\n", residentKiB());
    SharedFrame onScreen;
    int64_t readByTicks = 0;
    auto next = std::chrono::steady_clock::now();
    for (int k = 0; k < frames; ++k) {
        const bool held = sequence.cached(k) != nullptr;
        onScreen = sequence.frame(k, &error);
        if (!onScreen) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        readByTicks += held ? 0 : 1;
        std::vector<int32_t> upcoming;
        for (int a = k; a < std::min(frames, k + 31); ++a)
            upcoming.push_back(a);
        sequence.readAhead(std::move(upcoming));
        if ((k + 1) % 50 == 0 || k + 1 == frames)
            std::printf(
                "frame %d: cache %.1f of %.1f MiB in %d frames, resident %ld KiB, %lld frames read by "
                "ticks\n",
                k, double(sequence.bytesHeld()) / 1048576.0, double(budget) / 1048576.0,
                sequence.framesHeld(), residentKiB(), static_cast<long long>(readByTicks));
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval);
        std::this_thread::sleep_until(next);
    }
    return 0;
}
