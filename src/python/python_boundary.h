#pragma once

#include <pybind11/pybind11.h>

#include <QString>

#include <cstdint>

namespace py = pybind11;

// A path as Python passes it, a str or any os.PathLike, as the core takes it.
QString pathArgument(const py::object &path);

// Raises the Python error for a file the core could not read: the OSError the system's reason picks
// (FileNotFoundError, PermissionError, IsADirectoryError, ...) when the file cannot even be opened,
// else ValueError with the core's reason, for a file that is there but broken.
[[noreturn]] void raiseReadError(const QString &path, const QString &reason);
// IndexError for a pixel outside a frame of `width` x `height`.
void requirePixel(int64_t u, int64_t v, int32_t width, int32_t height);
// Raises FileNotFoundError naming the folder when the file's folder is missing, else OSError with the
// core's reason, for a file that could not be written.
[[noreturn]] void raiseWriteError(const QString &path, const QString &reason);
