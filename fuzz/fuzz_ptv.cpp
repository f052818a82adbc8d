// Opens the input as a PTV sequence the way the viewer does and plays it: the first frames that
// playback shows, frame 0, and a frame past the end, each followed by the statistics and mesh the
// view draws; a frame that is refused must leave the last good one shown.

#include "fuzz_support.h"

#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"

namespace {

// Decodes one frame and builds what the view draws from it; false when the frame was refused.
bool showFrame(PtvFrameDecoder &decoder, std::FILE *file, const PtvHeader &header, int32_t frame,
               ScanFrameStore &store) {
    const QByteArray before = fuzz::snapshot(store);
    QString error;
    if (!decoder.decodeFrame(file, header, frame, store, &error)) {
        fuzz::requireRefusedCleanly(store, before, error);
        return false;
    }
    fuzz::require(store.frameKind == PtvFrame, "a PTV frame gave another frame kind");
    store.computePhaseStatistics();
    fuzz::requireDrawableFrame(store);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ScanFrameStore store;
    showSmallFrame(store);
    const QString path = fuzz::writeInput(data, size, "ptv");
    const QByteArray before = fuzz::snapshot(store);
    PTVReader reader;
    std::FILE *file = nullptr;
    QString error;
    fuzz::require(reader.openStream(path, file, &error), "cannot open the scratch file");
    PtvHeader header;
    if (!reader.readHeader(file, header, &error) || !beginPtvSequence(store, header, &error)) {
        reader.closeStream(file);
        fuzz::requireRefusedCleanly(store, before, error);
        return 0;
    }
    fuzz::require(header.framesFound >= 1 && header.framesFound <= header.frameCount,
                  "frames found outside the header's count");
    shortSequenceMessage(header);

    PtvFrameDecoder decoder;
    const int32_t first = nextPtvFrame(0, header.framesFound);
    const int32_t second = nextPtvFrame(first, header.framesFound);
    bool shown = showFrame(decoder, file, header, first, store);
    fuzz::require(shown, "a frame the file holds was refused");
    shown = showFrame(decoder, file, header, second, store);
    fuzz::require(shown, "a frame the file holds was refused");
    showFrame(decoder, file, header, 0, store);
    shown = showFrame(decoder, file, header, header.framesFound, store);
    fuzz::require(!shown, "a frame past the end was decoded");
    // Saving a sequence frame triangulates it.
    store.computeCoordinatesFromPhase();
    fuzz::requireDrawableFrame(store, true);
    reader.closeStream(file);
    return 0;
}
