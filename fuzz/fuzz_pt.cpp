// Opens the input as a PT capture the way the viewer does, then runs the phase statistics and
// mesh it draws, and the triangulation a save or a PLY export runs.

#include "fuzz_support.h"

#include "data/pt_file.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ScanFrameStore store;
    showSmallFrame(store);
    const QString path = fuzz::writeInput(data, size, "pt");
    const QByteArray before = fuzz::snapshot(store);
    QString error;
    PtHeader header;
    if (!loadPtFile(store, path, &error, &header)) {
        fuzz::requireRefusedCleanly(store, before, error);
        return 0;
    }
    fuzz::require(store.frameKind == PtFrame, "a PT file gave another frame kind");
    fuzz::require(store.phase && store.monoTexture, "PT frame without phase or grey texture");
    fuzz::require(header.width == store.width && header.height == store.height, "header and frame disagree");
    store.computePhaseStatistics();
    fuzz::requireDrawableFrame(store);
    store.computeCoordinatesFromPhase();
    fuzz::requireDrawableFrame(store, true);
    return 0;
}
