#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// A buffered binary file for reading that closes itself. Paths are encoded with the file system's
// own encoding, so every name the system can hold opens. (Writers go through QSaveFile, so a failed
// save never replaces the file that was there.)
class BinaryFile {
  public:
    BinaryFile() = default;
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;
    ~BinaryFile();

    bool open(const QString &path, const char *mode);
    bool isOpen() const { return m_file != nullptr; }
    // Size in bytes, or -1 when it cannot be told; leaves the position at the start.
    int64_t size();
    bool seek(int64_t offset);
    bool read(void *data, size_t bytes);
    // The reason of the last failed open, from the operating system.
    static QString lastError();

  private:
    std::FILE *m_file = nullptr;
};

// Allocates count elements without initialising them; null when the memory is not there.
template <typename T> std::unique_ptr<T[]> tryAllocate(int64_t count) {
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T))
        return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(count)]);
}

// Little-endian field access on a header held in memory.
template <typename T> T readField(const unsigned char *bytes, int offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof(T));
    return value;
}
template <typename T> void writeField(unsigned char *bytes, int offset, T value) {
    std::memcpy(bytes + offset, &value, sizeof(T));
}

// "file is N bytes, header promises M bytes" and the like, shared by every reader.
QString sizeMismatchMessage(int64_t expected, int64_t found);
QString outOfMemoryMessage(int32_t width, int32_t height);
