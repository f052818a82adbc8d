#pragma once

#include "data/frame_source.h"
#include "data/scan_frame_store.h"

#include <QByteArray>
#include <QString>

// The phase, colour and mask of the frame in the store: what a frame of a sequence puts there.
inline QByteArray shownPixels(const ScanFrameStore &store) {
    const int n = store.pixelCount;
    QByteArray s(reinterpret_cast<const char *>(store.phase.get()), 4 * n);
    s.append(reinterpret_cast<const char *>(store.rgbTexture.get()), 3 * n);
    s.append(reinterpret_cast<const char *>(store.mask.get()), n);
    return s;
}

// shownPixels of frame `frame` of a sequence, decoded on its own; empty when it cannot be.
inline QByteArray decodedPtvFrame(const QString &path, int frame) {
    FrameSource source;
    ScanFrameStore store;
    return source.open(path, nullptr) && source.readFrame(frame, store, nullptr) ? shownPixels(store)
                                                                                 : QByteArray();
}
