#include "data/file_access.h"

#include "data/binary_file.h"

#include <QFileInfo>

#include <cerrno>

int readAccessError(const QString &path) {
    // A folder opens for reading here, and only fails at the first read.
    if (!path.isEmpty() && QFileInfo(path).isDir())
        return EISDIR;
    BinaryFile file;
    return file.open(path, "rb") ? 0 : errno;
}
