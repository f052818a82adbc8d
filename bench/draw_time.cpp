// The processor time the renderer takes for one picture of a capture, with and without eye-dome
// lighting, in a headless context (on Mesa's software renderer where there is no GPU): each style
// drawn a number of times, unlit and lit in turn, after a first picture of each that warms the
// caches; the medians printed. The lighting's pass costs the same for
// any scene, so the ratio is highest for the cheapest scene.
#include "data/frame_mesh.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "geometry/mesh_builder.h"
#include "render/frame_renderer.h"
#include "render/headless_context.h"
#include "render/view_state.h"
#include "sample/sample_files.h"
#include "sample/virtual_scanner.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// Milliseconds of processor time the process (llvmpipe's threads included) spent on one picture: on a
// machine busy with other work it says what the picture costs where wall time would not.
double drawMs(FrameRenderer &renderer, const ScanFrameStore &frame, const ViewState &state, QSize size) {
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    const double start = now();
    renderer.draw(frame, state, size);
    renderer.finish();
    return now() - start;
}

double median(std::vector<double> ms) {
    std::nth_element(ms.begin(), ms.begin() + static_cast<std::ptrdiff_t>(ms.size() / 2), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    const int width = argc > 1 ? std::atoi(argv[1]) : 1280, height = argc > 2 ? std::atoi(argv[2]) : 1024;
    const int pictures = argc > 3 ? std::atoi(argv[3]) : 15;
    const QSize size(width, height);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("studio.pt"));
    QString error;
    ScanFrameStore frame;
    frame.frameKind = PtFrame;
    HeadlessContext gl;
    FrameRenderer renderer;
    if (!writeCapturePt(path, VirtualScanner(width, height).capture(0.0), &error) ||
        !loadPtFile(frame, path, &error) || !gl.create(size, &error) || !renderer.initialize(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    frame.computePhaseStatistics();
    FrameMesh mesh;
    buildMesh(frame, MeshSettings(), mesh);
    if (!renderer.upload(mesh, path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d x %d capture drawn at %d x %d, processor time, median of %d pictures\n", width, height,
                width, height, pictures);
    std::printf("%-10s %12s %12s %8s\n", "style", "unlit ms", "lit ms", "ratio");
    const char *names[] = {"shaded", "wireframe", "points"};
    for (int style : {Shaded, Wireframe, PointCloud}) {
        ViewState state;
        frameOn(frame, state);
        takeFirstDepthRange(state);
        state.meshType = style;
        state.pointPixels = kAutomaticPointSize;
        ViewState lit = state;
        lit.eyeDome.styles = 1u << style;
        std::vector<double> unlitMs, litMs;
        for (int k = 0; k <= pictures; ++k) {
            const double a = drawMs(renderer, frame, state, size), b = drawMs(renderer, frame, lit, size);
            if (k > 0)
                unlitMs.push_back(a), litMs.push_back(b);
        }
        const double unlit = median(unlitMs), shaded = median(litMs);
        std::printf("%-10s %12.1f %12.1f %8.2f\n", names[style], unlit, shaded, shaded / unlit);
    }
    renderer.release();
    return 0;
}
