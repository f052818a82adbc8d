#include "data/xyzm_file.h"

#include "data/binary_file.h"
#include "data/scan_frame_store.h"

#include <QSaveFile>

#include <climits>
#include <cstring>

namespace {

const char kHeaderStart[] = "image size width x height =";
constexpr int kMaxDigits = 10;

struct HeaderMatch {
    int64_t width = 0;
    bool heightNegative = false;
    int heightDigitsAt = 0;   // offset of the first digit of the height
    int heightDigitCount = 0; // length of the run of digits there, at most kMaxDigits
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// scanf-style: a blank matches any run of white space, a number may follow white space and a sign.
bool matchLiteral(const char *text, int size, int &pos, const char *literal) {
    for (const char *l = literal; *l; ++l) {
        if (*l == ' ') {
            while (pos < size && isSpace(text[pos]))
                ++pos;
        } else if (pos < size && text[pos] == *l) {
            ++pos;
        } else {
            return false;
        }
    }
    return true;
}

bool matchNumberStart(const char *text, int size, int &pos, bool &negative) {
    while (pos < size && isSpace(text[pos]))
        ++pos;
    negative = false;
    if (pos < size && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    return pos < size && isDigit(text[pos]);
}

int64_t digitsValue(const char *text, int from, int count) {
    int64_t value = 0;
    for (int i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

bool matchHeader(const char *text, int size, HeaderMatch &m) {
    int pos = 0;
    bool negative = false;
    if (!matchLiteral(text, size, pos, kHeaderStart) || !matchNumberStart(text, size, pos, negative))
        return false;
    int start = pos;
    while (pos < size && isDigit(text[pos]) && pos - start < kMaxDigits)
        ++pos;
    if (pos < size && isDigit(text[pos]))
        return false;
    m.width = digitsValue(text, start, pos - start) * (negative ? -1 : 1);
    if (!matchLiteral(text, size, pos, " x") || !matchNumberStart(text, size, pos, m.heightNegative))
        return false;
    m.heightDigitsAt = pos;
    while (pos < size && isDigit(text[pos]) && pos - m.heightDigitsAt < kMaxDigits)
        ++pos;
    m.heightDigitCount = pos - m.heightDigitsAt;
    return true;
}

// 3 x W x H within 32 bits, tested without forming a product that could overflow: the header
// allows ten digits for each side.
bool frameFits(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= INT_MAX / 3 && h <= INT_MAX / 3 / w;
}

int64_t xyzmFileSize(int64_t headerLength, int64_t w, int64_t h) {
    return headerLength + 16 * w * h;
}

} // namespace

bool readXYZMFile(const QString &path, std::unique_ptr<float[]> &xyz, std::unique_ptr<uint8_t[]> &texture,
                  std::unique_ptr<uint8_t[]> &mask, int32_t &width, int32_t &height, QString *error,
                  std::FILE *log) {
    auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    BinaryFile file;
    if (!file.open(path, "rb")) {
        if (log)
            std::fprintf(log, "Fail to load xyz data:\n%s\n", path.toLocal8Bit().constData());
        return fail(BinaryFile::lastError());
    }
    const int64_t fileSize = file.size();
    char text[128] = {};
    const int textSize = static_cast<int>(std::min<int64_t>(fileSize, sizeof text));
    if (fileSize < 0 || !file.read(text, static_cast<size_t>(textSize)))
        return fail(QStringLiteral("cannot read the file"));
    HeaderMatch m;
    if (!matchHeader(text, textSize, m))
        return fail(
            QStringLiteral("not an XYZM file: it does not begin with \"image size width x height = W x H\""));

    // The coordinate block follows the last digit of the height with no delimiter, so a first
    // coordinate byte that reads as a digit would lengthen the height: the file size decides.
    const int64_t sign = m.heightNegative ? -1 : 1;
    int digits = 0;
    for (int n = 1; n <= m.heightDigitCount && !digits; ++n) {
        const int64_t h = sign * digitsValue(text, m.heightDigitsAt, n);
        if (frameFits(m.width, h) && xyzmFileSize(m.heightDigitsAt + n, m.width, h) == fileSize)
            digits = n;
    }
    const int64_t w = m.width;
    const int64_t h = sign * digitsValue(text, m.heightDigitsAt, digits ? digits : m.heightDigitCount);
    if (w <= 0 || h <= 0)
        return fail(QStringLiteral("invalid frame size %1 x %2").arg(w).arg(h));
    if (!frameFits(w, h))
        return fail(QStringLiteral("frame of %1 x %2 pixels is too large").arg(w).arg(h));
    if (!digits)
        return fail(sizeMismatchMessage(xyzmFileSize(m.heightDigitsAt + m.heightDigitCount, w, h), fileSize));

    const int64_t n = w * h;
    auto newXyz = tryAllocate<float>(3 * n);
    auto newTexture = tryAllocate<uint8_t>(3 * n);
    auto newMask = tryAllocate<uint8_t>(n);
    if (!newXyz || !newTexture || !newMask)
        return fail(outOfMemoryMessage(static_cast<int32_t>(w), static_cast<int32_t>(h)));
    if (!file.seek(m.heightDigitsAt + digits) || !file.read(newXyz.get(), sizeof(float) * 3 * n) ||
        !file.read(newTexture.get(), 3 * n) || !file.read(newMask.get(), n))
        return fail(QStringLiteral("reading the file failed: %1").arg(BinaryFile::lastError()));

    xyz = std::move(newXyz);
    texture = std::move(newTexture);
    mask = std::move(newMask);
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    if (log)
        std::fprintf(log, "XYZM file loaded successfully, w: %d, h: %d\n", width, height);
    return true;
}

bool writeXYZMFile(const QString &path, const float *xyz, const uint8_t *texture, const uint8_t *mask,
                   int32_t width, int32_t height, QString *error, std::FILE *log) {
    QSaveFile file(path);
    // Atomic where a temporary file can be made beside the target; in a folder that refuses one,
    // a writable existing file is written in place rather than not at all.
    file.setDirectWriteFallback(true);
    const QByteArray header = QByteArrayLiteral("image size width x height = ") + QByteArray::number(width) +
                              " x " + QByteArray::number(height);
    const int64_t n = static_cast<int64_t>(width) * height;
    const bool written = file.open(QIODevice::WriteOnly) && file.write(header) == header.size() &&
                         file.write(reinterpret_cast<const char *>(xyz), 12 * n) == 12 * n &&
                         file.write(reinterpret_cast<const char *>(texture), 3 * n) == 3 * n &&
                         file.write(reinterpret_cast<const char *>(mask), n) == n && file.commit();
    if (!written) {
        if (log)
            std::fprintf(log, "Fail to write xyz data:\n%s\n", path.toLocal8Bit().constData());
        if (error)
            *error = file.errorString();
    }
    return written;
}

bool loadXYZMFile(ScanFrameStore &store, const QString &path, QString *error, std::FILE *log) {
    std::unique_ptr<float[]> xyz;
    std::unique_ptr<uint8_t[]> texture, mask;
    int32_t width = 0, height = 0;
    if (!readXYZMFile(path, xyz, texture, mask, width, height, error, log))
        return false;
    store.frameKind = XyzmFrame;
    store.xyz = std::move(xyz);
    store.rgbTexture = std::move(texture);
    store.mask = std::move(mask);
    store.width = width;
    store.height = height;
    store.pixelCount = width * height;
    return true;
}
