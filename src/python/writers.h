#pragma once

#include <pybind11/pybind11.h>

#include <QString>

#include <cstdint>

namespace py = pybind11;

// pelnor.save_xyzm: (H, W, 3) coordinates, NaN where nothing was measured, and an optional (H, W)
// or (H, W, 3) texture, written as an XYZM frame the viewer opens.
void saveXyzm(const QString &path, const py::object &xyz, const py::object &texture);
// pelnor.sample: a capture or a sequence of the virtual scanner, by the name's ending.
void writeSample(const QString &path, const QString &scene, int32_t width, int32_t height, int32_t frames,
                 float rate);
