// Opens the input as an XYZM file the way the viewer does, then builds the statistics and the
// coordinate mesh it would draw.

#include "fuzz_support.h"

#include "data/xyzm_file.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ScanFrameStore store;
    showSmallFrame(store);
    const QString path = fuzz::writeInput(data, size, "xyzm");
    const QByteArray before = fuzz::snapshot(store);
    QString error;
    if (!loadXYZMFile(store, path, &error, nullptr)) {
        fuzz::requireRefusedCleanly(store, before, error);
        return 0;
    }
    fuzz::require(store.frameKind == XyzmFrame, "an XYZM file gave another frame kind");
    store.computeCoordinateStatistics();
    fuzz::requireDrawableFrame(store);
    return 0;
}
