#pragma once

// What tests, fuzz targets and benchmarks share. Built without QtTest or the core, so that each user
// links the core it needs (the fuzz targets their instrumented copy).

#include "data/scan_frame_store.h"
#include "sample/virtual_scanner.h"

#include <QByteArray>
#include <QMatrix4x4>
#include <QString>

// The whole file, or empty when it cannot be read.
QByteArray readAll(const QString &path);
// Writes the bytes or stops the process: a test or run that cannot write its input is void.
void writeAll(const QString &path, const QByteArray &bytes);

// A store holding a frame of the given size with every pixel valid and the given content unset.
void resizeStore(ScanFrameStore &store, int width, int height);

// Camera rows (1 0 0 0) (0 1 0 0) (0 0 1 0) and projector rows (1 0 0 0) (0 1 0 -100) (0 0 1 0).
void setSimpleCalibration(ScanFrameStore &store);

// The capture as a scanner would have saved it in other coordinates, `move` (a turn and a shift)
// from its camera's: every measured point p becomes move * p, and the calibration sees each moved
// point at the same pixel and projector row as before.
void moveCapture(SyntheticCapture &capture, const QMatrix4x4 &move);

// The frame on screen before a file is opened: 4 x 3, every pixel measured, with its statistics.
void showSmallFrame(ScanFrameStore &store);

// Everything a failed load must leave as it was: the frame, its calibration and statistics.
QByteArray storeSnapshot(const ScanFrameStore &store);
// Where the frame buffers live; a refused file must not even swap them.
QByteArray bufferAddresses(const ScanFrameStore &store);

struct FrameMesh;
// Why the view cannot draw the frame in the store with its mesh (size, buffers, mesh, framing, an
// information table of finite facts), or nullptr.
const char *drawableFrameFault(const ScanFrameStore &store, const FrameMesh &mesh);
