#pragma once

#include "data/calibration.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class ScanFrameStore;

// Header of a PT capture: 449 bytes, little-endian, no alignment gaps.
struct PtHeader {
    static constexpr int kSize = 449;
    static constexpr int kCalibrationOffset = 33;

    int32_t version = 1;
    char captureTime[16] = {}; // yyyy-MM-dd-hh-mm, no terminator
    int32_t width = 0;
    int32_t height = 0;
    uint8_t colorTexture = 0; // 0: one texture byte per pixel, else three
    int32_t mosaicCode = 1;   // one-byte texture: 0 or more a colour mosaic, negative plain grey
    CalibrationBlocks calibration;

    int64_t textureBytes() const { return static_cast<int64_t>(width) * height * (colorTexture ? 3 : 1); }
    int64_t fileSize() const { return kSize + 4 * static_cast<int64_t>(width) * height + textureBytes(); }
};

// Checks the frame size that a PT or PTV header gives: positive, and 3 x W x H within 32 bits.
bool checkFrameSize(int64_t width, int64_t height, QString *error);

// The 449 header bytes of a PT capture.
QByteArray ptHeaderBytes(const PtHeader &header);

// Reads a whole PT file into new phase and texture buffers and the header; on failure nothing is
// touched and error says why.
bool readPtFile(const QString &path, std::unique_ptr<float[]> &phase, std::unique_ptr<uint8_t[]> &texture,
                PtHeader &header, QString *error);
// Writes a PT file, replacing an existing one only once the new one is complete.
bool writePtFile(const QString &path, const float *phase, const uint8_t *texture, const PtHeader &header,
                 QString *error);

// Loads a PT capture into the store as frame kind 1: calibration, phase, mask and a colour texture
// (demosaiced and smoothed, or grey). A failed load leaves the store as it was. header, when
// given, receives the file's header.
bool loadPtFile(ScanFrameStore &store, const QString &path, QString *error, PtHeader *header = nullptr);
// Saves the store's phase frame as PT, stamped with the current local time.
bool savePtFile(const ScanFrameStore &store, const QString &path, QString *error);

// A grey value for a three-byte pixel that is non-zero wherever the red byte is, so a grey texture
// keeps the frame's mask.
uint8_t greyOf(const uint8_t *rgb);
