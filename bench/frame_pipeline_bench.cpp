// The frame pipeline at scanner sizes: loading, the steps of a playback tick, the mesh builders,
// and the memory floor of a tick (a plain copy of the bytes it must read and write), so each
// step shows how close it runs to the machine's memory speed.
#include "data/demosaicer.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/frame_camera.h"
#include "sample/sample_files.h"
#include "sample/virtual_scanner.h"
#include "test_support.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <map>
#include <memory>

namespace {

// Sample files of one size, made once per run: a capture, its surface and a short sequence.
struct Samples {
    QString pt, xyzm, ptv;
    SyntheticCapture capture;
};

QTemporaryDir &folder() {
    static QTemporaryDir dir;
    return dir;
}

const Samples &samples(int width, int height) {
    static std::map<std::pair<int, int>, Samples> made;
    auto found = made.find({width, height});
    if (found != made.end())
        return found->second;
    Samples s;
    const QString base = folder().filePath(QStringLiteral("%1x%2").arg(width).arg(height));
    s.pt = base + ".pt";
    s.xyzm = base + ".xyzm";
    s.ptv = base + ".ptv";
    s.capture = VirtualScanner(width, height).capture(0.0);
    writeCapturePt(s.pt, s.capture, nullptr);
    writeCaptureXyzm(s.xyzm, s.capture, nullptr);
    writeSampleSequence(s.ptv, width, height, 3, 30.0f, nullptr);
    return made.emplace(std::make_pair(width, height), std::move(s)).first->second;
}

int64_t pixels(const benchmark::State &state) {
    return state.range(0) * state.range(1);
}

void report(benchmark::State &state, int64_t bytesPerFrame) {
    state.SetBytesProcessed(state.iterations() * bytesPerFrame);
    state.SetItemsProcessed(state.iterations() * pixels(state));
}

// A pipeline that failed on its input times its error path: the run reports that, not a figure.
void requireDrawable(benchmark::State &state, const ScanFrameStore &store) {
    if (const char *fault = drawableFrameFault(store))
        state.SkipWithError(fault);
}

// An open sequence with a store set up for it, as playback has it.
struct Playback {
    PTVReader reader;
    std::FILE *file = nullptr;
    PtvHeader header;
    ScanFrameStore store;
    PtvFrameDecoder decoder;
    explicit Playback(const QString &path) {
        reader.openStream(path, file, nullptr);
        reader.readHeader(file, header, nullptr);
        beginPtvSequence(store, header, nullptr);
        decoder.decodeFrame(file, header, 1, store, nullptr);
        // The arrays of a sequence already playing: sized, and their pages mapped.
        store.computePhaseStatistics();
        store.buildPhaseMesh();
    }
    ~Playback() { reader.closeStream(file); }
};

void BM_LoadPt(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    ScanFrameStore store;
    for (auto _ : state)
        loadPtFile(store, s.pt, nullptr);
    report(state, 449 + 5 * pixels(state));
}

void BM_LoadXyzm(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    ScanFrameStore store;
    for (auto _ : state)
        loadXYZMFile(store, s.xyzm, nullptr, nullptr);
    report(state, 16 * pixels(state));
}

void BM_Demosaic(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    Demosaicer demosaicer(int(state.range(0)), int(state.range(1)));
    std::unique_ptr<uint8_t[]> rgb(new uint8_t[3 * size_t(pixels(state))]);
    for (auto _ : state) {
        demosaicer.demosaic(s.capture.mosaic.data(), rgb.get());
        benchmark::DoNotOptimize(rgb.get());
    }
    report(state, 4 * pixels(state));
}

void BM_SmoothColor(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    Demosaicer demosaicer(int(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> rgb = s.capture.rgb;
    for (auto _ : state) {
        demosaicer.smoothColor(rgb.data());
        benchmark::DoNotOptimize(rgb.data());
    }
    report(state, 6 * pixels(state));
}

void BM_MaskedPhaseSmooth(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    ImageFilter filter(int(state.range(0)), int(state.range(1)));
    std::vector<float> phase = s.capture.phase;
    for (auto _ : state) {
        filter.maskedGaussianSmooth(phase.data(), s.capture.mosaic.data(), 3);
        benchmark::DoNotOptimize(phase.data());
    }
    report(state, 9 * pixels(state));
}

void BM_DecodePtvFrame(benchmark::State &state) {
    Playback playback(samples(int(state.range(0)), int(state.range(1))).ptv);
    int frame = 1;
    for (auto _ : state) {
        frame = nextPtvFrame(frame, playback.header.framesFound);
        playback.decoder.decodeFrame(playback.file, playback.header, frame, playback.store, nullptr);
    }
    report(state, playback.header.frameSize() + 4 * pixels(state));
}

void BM_BuildPhaseMesh(benchmark::State &state) {
    Playback playback(samples(int(state.range(0)), int(state.range(1))).ptv);
    for (auto _ : state)
        playback.store.buildPhaseMesh();
    requireDrawable(state, playback.store);
    report(state, int64_t(4 * playback.store.vertexData.size() + 4 * playback.store.indexData.size()));
}

void BM_BuildCoordinateMesh(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    ScanFrameStore store;
    loadXYZMFile(store, s.xyzm, nullptr, nullptr);
    for (auto _ : state)
        store.buildCoordinateMesh();
    requireDrawable(state, store);
    report(state, int64_t(4 * store.vertexData.size() + 4 * store.indexData.size()));
}

// A finished frame's mesh with its depth jumps left out, as saved (moved 0) or turned and shifted
// off its camera's coordinates (moved 1), where every row's depths are measured along the fitted
// camera's axis.
void BM_CoordinateMeshWithoutJumps(benchmark::State &state) {
    SyntheticCapture capture = samples(int(state.range(0)), int(state.range(1))).capture;
    if (state.range(2) != 0) {
        QMatrix4x4 move;
        move.translate(100.0f, -50.0f, -300.0f);
        move.rotate(160.0f, 1.0f, 0.5f, 0.0f);
        moveCapture(capture, move);
    }
    const QString path = folder().filePath(QStringLiteral("moved.xyzm"));
    writeCaptureXyzm(path, capture, nullptr);
    ScanFrameStore store;
    loadXYZMFile(store, path, nullptr, nullptr);
    store.hideDepthJumps = true;
    for (auto _ : state)
        store.buildCoordinateMesh();
    requireDrawable(state, store);
    report(state, int64_t(4 * store.vertexData.size() + 4 * store.indexData.size()));
}

// The camera of a finished frame, fitted to a sample of its grid.
void BM_FitFrameCamera(benchmark::State &state) {
    ScanFrameStore store;
    loadXYZMFile(store, samples(int(state.range(0)), int(state.range(1))).xyzm, nullptr, nullptr);
    for (auto _ : state)
        benchmark::DoNotOptimize(frameCamera(store));
    if (!frameCamera(store).found())
        state.SkipWithError("no camera found");
    report(state, 0);
}

void BM_ComputeCoordinatesFromPhase(benchmark::State &state) {
    ScanFrameStore store;
    loadPtFile(store, samples(int(state.range(0)), int(state.range(1))).pt, nullptr);
    for (auto _ : state)
        store.computeCoordinatesFromPhase();
    report(state, 17 * pixels(state));
}

// Everything a playback tick does on the processor: decode, statistics where due, mesh; with the
// depth-jump rule on (jumps 1) and at a coarser level of detail (stride above 1).
void BM_PlaybackTick(benchmark::State &state) {
    Playback playback(samples(int(state.range(0)), int(state.range(1))).ptv);
    playback.store.hideDepthJumps = state.range(2) != 0;
    const int stride = int(state.range(3));
    int frame = 1;
    for (auto _ : state) {
        frame = nextPtvFrame(frame, playback.header.framesFound);
        playback.decoder.decodeFrame(playback.file, playback.header, frame, playback.store, nullptr);
        playback.store.buildPhaseMesh(stride);
    }
    requireDrawable(state, playback.store);
    report(state, playback.header.frameSize() +
                      int64_t(4 * playback.store.vertexData.size() + 4 * playback.store.indexData.size()));
}

// The bytes a tick cannot avoid: the frame read from the page cache, and the mask, colour
// texture, vertex array and index list written once each.
void BM_MemoryFloor(benchmark::State &state) {
    Playback playback(samples(int(state.range(0)), int(state.range(1))).ptv);
    const size_t n = size_t(pixels(state));
    const size_t written =
        n + 3 * n + playback.store.vertexData.size() * 4 + playback.store.indexData.size() * 4;
    const size_t frameBytes = size_t(playback.header.frameSize());
    std::unique_ptr<char[]> frame(new char[frameBytes]), source(new char[written]), target(new char[written]);
    std::memset(source.get(), 1, written);
    std::memset(target.get(), 2, written);
    for (auto _ : state) {
        fseeko(playback.file, playback.header.frameOffset(1), SEEK_SET);
        benchmark::DoNotOptimize(std::fread(frame.get(), 1, frameBytes, playback.file));
        std::memcpy(target.get(), source.get(), written);
        benchmark::ClobberMemory();
    }
    report(state, int64_t(frameBytes + written));
}

void sizes(benchmark::internal::Benchmark *b) {
    b->Args({640, 480})->Args({1280, 1024})->Args({2048, 1536})->Unit(benchmark::kMillisecond)->UseRealTime();
}

void movedVariants(benchmark::internal::Benchmark *b) {
    b->ArgNames({"w", "h", "moved"});
    for (const auto &size : {std::pair<int, int>(640, 480), {1280, 1024}, {2048, 1536}})
        for (const int moved : {0, 1})
            b->Args({size.first, size.second, moved});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void tickVariants(benchmark::internal::Benchmark *b) {
    b->ArgNames({"w", "h", "jumps", "stride"});
    for (const auto &size : {std::pair<int, int>(640, 480), {1280, 1024}, {2048, 1536}})
        for (const auto &variant : {std::pair<int, int>(0, 1), {1, 1}, {0, 2}, {1, 2}})
            b->Args({size.first, size.second, variant.first, variant.second});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_LoadPt)->Apply(sizes);
BENCHMARK(BM_LoadXyzm)->Apply(sizes);
BENCHMARK(BM_Demosaic)->Apply(sizes);
BENCHMARK(BM_SmoothColor)->Apply(sizes);
BENCHMARK(BM_MaskedPhaseSmooth)->Apply(sizes);
BENCHMARK(BM_DecodePtvFrame)->Apply(sizes);
BENCHMARK(BM_BuildPhaseMesh)->Apply(sizes);
BENCHMARK(BM_BuildCoordinateMesh)->Apply(sizes);
BENCHMARK(BM_CoordinateMeshWithoutJumps)->Apply(movedVariants);
BENCHMARK(BM_FitFrameCamera)->Apply(sizes);
BENCHMARK(BM_ComputeCoordinatesFromPhase)->Apply(sizes);
BENCHMARK(BM_PlaybackTick)->Apply(tickVariants);
BENCHMARK(BM_MemoryFloor)->Apply(sizes);

BENCHMARK_MAIN();
