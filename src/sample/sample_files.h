#pragma once

#include "sample/virtual_scanner.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Writes one capture of the virtual scanner as a PT file (one-byte RGGB mosaic, mosaic code 0).
bool writeCapturePt(const QString &path, const SyntheticCapture &capture, QString *error);
// Writes the true surface behind a capture as an XYZM file.
bool writeCaptureXyzm(const QString &path, const SyntheticCapture &capture, QString *error);
// Writes a sample scan in the format named by the path's ending (.pt or .xyzm) at time 0. The
// writers below fail with the readers' "not enough memory" message where a frame does not fit.
bool writeSampleFile(const QString &path, int32_t width, int32_t height, QString *error,
                     VirtualScanner::Scene scene = VirtualScanner::Studio);

// Whether a sample can be written to a name with this ending: .pt, .xyzm or .ptv.
bool writesSampleEnding(const QString &ending);
// Writes a sample in the format the ending of the path names: a capture (.pt), its true surface
// (.xyzm) or a sequence of `frames` at `rate` frames per second (.ptv); the one place the front ends'
// sample commands pick a writer. `frameWritten` hears of each frame of a sequence once it is written.
bool writeSample(const QString &path, int32_t width, int32_t height, int32_t frames, float rate,
                 QString *error, VirtualScanner::Scene scene = VirtualScanner::Studio,
                 const std::function<void(int32_t)> &frameWritten = nullptr);

// The scene of a name as the front ends take it: studio, off-centre or centre-hole. False for any
// other name, leaving scene as it was.
bool sceneNamed(const QString &name, VirtualScanner::Scene *scene);

struct PtvHeader;

// The 457 header bytes of a PTV sequence.
QByteArray ptvHeaderBytes(const PtvHeader &header);
// Writes a sequence of the virtual scanner filming its moving scene: frame k at time k / rate.
// `frameWritten`, when given, hears of each frame k once it is written.
bool writeSampleSequence(const QString &path, int32_t width, int32_t height, int32_t frames, float rate,
                         QString *error, VirtualScanner::Scene scene = VirtualScanner::Studio,
                         const std::function<void(int32_t)> &frameWritten = nullptr);
