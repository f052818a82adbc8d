#pragma once

#include "data/scan_frame_store.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <vector>

QByteArray readAll(const QString &path);
void writeAll(const QString &path, const QByteArray &bytes);

// A store holding a frame of the given size with every pixel valid and the given content unset.
void resizeStore(ScanFrameStore &store, int width, int height);

// Everything a test compares to tell whether a store was left as it was.
QByteArray storeSnapshot(const ScanFrameStore &store);

// Camera rows (1 0 0 0) (0 1 0 0) (0 0 1 0) and projector rows (1 0 0 0) (0 1 0 -100) (0 0 1 0).
void setSimpleCalibration(ScanFrameStore &store);
