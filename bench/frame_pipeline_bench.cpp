// The frame pipeline at scanner sizes: loading, the steps of a playback tick, the mesh builders,
// and the memory floor of a tick (a plain copy of the bytes it must read and write), so each
// step shows how close it runs to the machine's memory speed.
#include "data/demosaicer.h"
#include "data/frame_mesh.h"
#include "data/frame_source.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/frame_camera.h"
#include "sample/sample_files.h"
#include "sample/virtual_scanner.h"
#include "sequence/frame_sequence.h"
#include "test_support.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
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
void requireDrawable(benchmark::State &state, const ScanFrameStore &store, const FrameMesh &mesh) {
    if (const char *fault = drawableFrameFault(store, mesh))
        state.SkipWithError(fault);
}

int64_t meshBytes(const FrameMesh &mesh) {
    return int64_t(4 * mesh.vertexData.size() + 4 * mesh.indexData.size());
}

// An open sequence with a frame and its mesh, as playback has them.
struct Playback {
    FrameSource source;
    ScanFrameStore store{ScanFrameStore::NoFrame{}};
    FrameMesh mesh;
    explicit Playback(const QString &path) {
        source.open(path, nullptr);
        source.readFrame(1, store, nullptr);
        // The arrays of a sequence already playing: sized, and their pages mapped.
        store.computePhaseStatistics();
        buildPhaseMesh(store, MeshSettings(), mesh);
    }
    const PtvHeader &header() const { return source.sequenceHeader(); }
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
        frame = nextPtvFrame(frame, playback.header().framesFound);
        playback.source.readFrame(frame, playback.store, nullptr);
    }
    report(state, playback.header().frameSize() + 4 * pixels(state));
}

void BM_BuildPhaseMesh(benchmark::State &state) {
    Playback playback(samples(int(state.range(0)), int(state.range(1))).ptv);
    for (auto _ : state)
        buildPhaseMesh(playback.store, MeshSettings(), playback.mesh);
    requireDrawable(state, playback.store, playback.mesh);
    report(state, meshBytes(playback.mesh));
}

void BM_BuildCoordinateMesh(benchmark::State &state) {
    const Samples &s = samples(int(state.range(0)), int(state.range(1)));
    ScanFrameStore store;
    FrameMesh mesh;
    loadXYZMFile(store, s.xyzm, nullptr, nullptr);
    store.computeCoordinateStatistics();
    for (auto _ : state)
        buildCoordinateMesh(store, MeshSettings(), mesh);
    requireDrawable(state, store, mesh);
    report(state, meshBytes(mesh));
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
    MeshSettings settings;
    settings.hideDepthJumps = state.range(2) != 0;
    settings.stride = int(state.range(3));
    int frame = 1;
    for (auto _ : state) {
        frame = nextPtvFrame(frame, playback.header().framesFound);
        playback.source.readFrame(frame, playback.store, nullptr);
        buildPhaseMesh(playback.store, settings, playback.mesh);
    }
    requireDrawable(state, playback.store, playback.mesh);
    report(state, playback.header().frameSize() + meshBytes(playback.mesh));
}

// The bytes a tick cannot avoid: the frame read from the page cache, and the mask, colour
// texture, vertex array and index list written once each.
void BM_MemoryFloor(benchmark::State &state) {
    Playback playback(samples(int(state.range(0)), int(state.range(1))).ptv);
    const size_t n = size_t(pixels(state));
    const size_t written = n + 3 * n + size_t(meshBytes(playback.mesh));
    const size_t frameBytes = size_t(playback.header().frameSize());
    std::unique_ptr<char[]> frame(new char[frameBytes]), source(new char[written]), target(new char[written]);
    std::memset(source.get(), 1, written);
    std::memset(target.get(), 2, written);
    std::FILE *file =
        std::fopen(QFile::encodeName(samples(int(state.range(0)), int(state.range(1))).ptv), "rb");
    for (auto _ : state) {
        fseeko(file, playback.header().frameOffset(1), SEEK_SET);
        benchmark::DoNotOptimize(std::fread(frame.get(), 1, frameBytes, file));
        std::memcpy(target.get(), source.get(), written);
        benchmark::ClobberMemory();
    }
    std::fclose(file);
    report(state, int64_t(frameBytes + written));
}

// Stepping back over the ten frames just played of a 15 fps sequence (Left held down), from the
// frame cache (cache 1) and, without one, reading and decoding each frame again (cache 0).
void BM_StepBack(benchmark::State &state) {
    static const QString path = [] {
        const QString p = folder().filePath(QStringLiteral("steps.ptv"));
        writeSampleSequence(p, 1280, 1024, 12, 15.0f, nullptr);
        return p;
    }();
    FrameSequence sequence(state.range(0) ? int64_t(256) << 20 : 0);
    sequence.open(path, nullptr);
    for (int k = 0; k <= 10; ++k)
        sequence.frame(k, nullptr);
    int frame = 10;
    for (auto _ : state) {
        frame = frame == 0 ? 10 : frame - 1;
        benchmark::DoNotOptimize(sequence.frame(frame, nullptr));
    }
    state.counters["decoded"] = double(sequence.framesDecoded() - 11) / double(state.iterations());
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
BENCHMARK(BM_StepBack)->ArgName("cache")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
