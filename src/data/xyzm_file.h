#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>
#include <memory>

class ScanFrameStore;

// An XYZM file: the text "image size width x height = W x H", then 12 x W x H bytes of float
// coordinates, 3 x W x H texture bytes and W x H mask bytes, nothing after.

// Reads a whole XYZM file. On success the three buffers are replaced by new ones of the file's size
// and width and height are set; on failure nothing is touched and error says why. The outcome line
// goes to log, unless it is null.
bool readXYZMFile(const QString &path, std::unique_ptr<float[]> &xyz, std::unique_ptr<uint8_t[]> &texture,
                  std::unique_ptr<uint8_t[]> &mask, int32_t &width, int32_t &height, QString *error,
                  std::FILE *log = stdout);
// Writes the frame, replacing an existing file only once the new one is complete.
bool writeXYZMFile(const QString &path, const float *xyz, const uint8_t *texture, const uint8_t *mask,
                   int32_t width, int32_t height, QString *error, std::FILE *log = stdout);

// Loads an XYZM file into the store as frame kind 0. A failed load leaves the store as it was.
bool loadXYZMFile(ScanFrameStore &store, const QString &path, QString *error, std::FILE *log = stdout);
