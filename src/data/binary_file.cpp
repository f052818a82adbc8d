#include "data/binary_file.h"

#include <QFile>

#include <cerrno>

BinaryFile::~BinaryFile() {
    if (m_file)
        std::fclose(m_file);
}

bool BinaryFile::open(const QString &path, const char *mode) {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (path.isEmpty()) {
        errno = ENOENT;
        return false;
    }
    m_file = std::fopen(QFile::encodeName(path).constData(), mode);
    return m_file != nullptr;
}

int64_t BinaryFile::size() {
    if (!m_file || fseeko(m_file, 0, SEEK_END) != 0)
        return -1;
    const int64_t bytes = ftello(m_file);
    if (fseeko(m_file, 0, SEEK_SET) != 0)
        return -1;
    return bytes;
}

bool BinaryFile::seek(int64_t offset) {
    return m_file && fseeko(m_file, offset, SEEK_SET) == 0;
}

bool BinaryFile::read(void *data, size_t bytes) {
    return m_file && std::fread(data, 1, bytes, m_file) == bytes;
}

QString BinaryFile::lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString sizeMismatchMessage(int64_t expected, int64_t found) {
    return QStringLiteral("file size does not match its header: expected %1 bytes, found %2 bytes")
        .arg(expected)
        .arg(found);
}

QString outOfMemoryMessage(int32_t width, int32_t height) {
    return QStringLiteral("not enough memory for a %1 x %2 frame").arg(width).arg(height);
}
