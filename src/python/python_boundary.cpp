#include "python/python_boundary.h"

#include "data/file_access.h"

#include <cstring>

QString pathArgument(const py::object &path) {
    return QString::fromStdString(py::module_::import("os").attr("fspath")(path).cast<std::string>());
}

void raiseReadError(const QString &path, const QString &reason) {
    const int code = readAccessError(path);
    if (code == 0)
        throw py::value_error((path + ": " + reason).toStdString());
    // OSError's constructor picks the subclass from the number, as open() does.
    const py::object error =
        py::reinterpret_borrow<py::object>(PyExc_OSError)(code, std::strerror(code), path.toStdString());
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

void raiseWriteError(const QString &path, const QString &reason) {
    PyErr_SetString(PyExc_OSError, (path + ": " + reason).toUtf8().constData());
    throw py::error_already_set();
}
