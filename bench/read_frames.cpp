// Reads every frame of a scan file through the core's FrameSource and turns it into the arrays
// Python's frame.xyz and frame.valid give: the loop a C++ program would write, as the yardstick for
// the same loop in Python (bench/python_frames.py). Prints the fastest of REPEATS loops, in seconds.
#include "data/frame_source.h"
#include "data/measured_coordinates.h"
#include "data/scan_frame_store.h"
#include "support/allocator_tuning.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelnor-read-frames FILE [REPEATS]\n");
        return 2;
    }
    // As both programs set the process up; the Python module leaves its host's allocator as it is.
    keepLargeAllocations();
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 1;
    double fastest = 1e30;
    // Read back from every frame, so no step can be left out as unused.
    volatile float sink = 0.0f;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        FrameSource source;
        QString error;
        if (!source.open(QString::fromLocal8Bit(argv[1]), &error)) {
            std::fprintf(stderr, "pelnor-read-frames: %s\n", qPrintable(error));
            return 1;
        }
        ScanFrameStore store;
        std::vector<float> xyz;
        std::vector<uint8_t> valid;
        for (int32_t k = 0; k < source.framesFound(); ++k) {
            if (!source.readFrame(k, store, &error)) {
                std::fprintf(stderr, "pelnor-read-frames: %s\n", qPrintable(error));
                return 1;
            }
            if (store.frameKind != XyzmFrame)
                store.computeCoordinatesFromPhase();
            xyz.resize(3 * static_cast<size_t>(store.pixelCount));
            valid.resize(static_cast<size_t>(store.pixelCount));
            measuredCoordinates(store, xyz.data(), valid.data());
            sink = sink + xyz[3 * static_cast<size_t>(store.pixelCount / 2) + 2];
        }
        fastest = std::min(fastest,
                           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%.4f\n", fastest);
    return 0;
}
