#include "python/python_boundary.h"

#include "data/file_access.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void raiseOSError(int code, const char *message, const QString &path) {
    // OSError's constructor picks the subclass from the number, as open() does.
    const py::object error =
        py::reinterpret_borrow<py::object>(PyExc_OSError)(code, message, path.toStdString());
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

} // namespace

QString pathArgument(const py::object &path) {
    return QString::fromStdString(py::module_::import("os").attr("fspath")(path).cast<std::string>());
}

void raiseReadError(const QString &path, const QString &reason) {
    const int code = readAccessError(path);
    if (code == 0)
        throw py::value_error((path + ": " + reason).toStdString());
    raiseOSError(code, std::strerror(code), path);
}

void raiseWriteError(const QString &path, const QString &reason) {
    // A missing folder is the caller's to mend, named as open() names a missing file.
    const QDir folder = QFileInfo(path).dir();
    if (!folder.exists())
        raiseOSError(ENOENT, "No such folder", folder.path());
    PyErr_SetString(PyExc_OSError, (path + ": " + reason).toUtf8().constData());
    throw py::error_already_set();
}

void requirePixel(int64_t u, int64_t v, int32_t width, int32_t height) {
    if (u < 0 || v < 0 || u >= width || v >= height)
        throw py::index_error(QStringLiteral("pixel (%1, %2) lies outside the %3 x %4 frame")
                                  .arg(u)
                                  .arg(v)
                                  .arg(width)
                                  .arg(height)
                                  .toStdString());
}
