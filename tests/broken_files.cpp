#include "broken_files.h"

#include "data/binary_file.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "sample/sample_files.h"

#include <climits>
#include <cmath>
#include <vector>

namespace {

QByteArray floats(std::vector<float> values) {
    return QByteArray(reinterpret_cast<const char *>(values.data()), int(4 * values.size()));
}

QByteArray xyzmText(qint64 w, qint64 h) {
    return "image size width x height = " + QByteArray::number(w) + " x " + QByteArray::number(h);
}

QByteArray xyzm(int w, int h, float special = 1.0f, char mask = 1) {
    const int n = std::max(0, w * h);
    std::vector<float> xyz(size_t(3 * n));
    for (int i = 0; i < 3 * n; ++i)
        xyz[size_t(i)] = float(i) + 0.5f;
    if (n > 0)
        xyz[0] = special;
    return xyzmText(w, h) + floats(xyz) + QByteArray(3 * n, 'c') + QByteArray(n, mask);
}

QByteArray ptHeader(int version, int w, int h, char colour = 0) {
    unsigned char b[449] = {};
    writeField<int32_t>(b, 0, version);
    std::memcpy(b + 4, "2026-01-02-03-04", 16);
    writeField<int32_t>(b, 20, w);
    writeField<int32_t>(b, 24, h);
    b[28] = uint8_t(colour);
    const double camera[12] = {100, 0, 50, 0, 0, 100, 40, 0, 0, 0, 1, 0};
    const double projector[12] = {120, 0, 60, 500, 0, 110, 40, -20000, 0, -0.2, 1, 20};
    std::memcpy(b + 33, camera, sizeof camera);
    std::memcpy(b + 129, projector, sizeof projector);
    return QByteArray(reinterpret_cast<const char *>(b), sizeof b);
}

QByteArray pt(int w, int h, float special = 300.0f, char texture = 9, int version = 1) {
    const int n = std::max(0, w * h);
    std::vector<float> phase(size_t(n), 250.0f);
    if (n > 0)
        phase[0] = special;
    return ptHeader(version, w, h) + floats(phase) + QByteArray(n, texture);
}

QByteArray ptv(int w, int h, int frames, int framesWritten, float rate = 15.0f, float special = 300.0f,
               int version = 1) {
    PtvHeader header;
    header.version = version;
    header.frameRate = rate;
    header.frameCount = frames;
    header.width = w;
    header.height = h;
    QByteArray bytes = ptvHeaderBytes(header);
    const int n = framesWritten ? std::max(0, w * h) : 0;
    for (int k = 0; k < framesWritten; ++k) {
        std::vector<float> phase(size_t(n), 250.0f + float(k));
        if (n > 0)
            phase[0] = special;
        bytes += floats(phase) + QByteArray(n, char(20 + k));
    }
    return bytes;
}

QString tooLarge(qint64 w, qint64 h) {
    return QStringLiteral("frame of %1 x %2 pixels is too large").arg(w).arg(h);
}

} // namespace

QVector<BrokenFile> brokenFiles(bool everyCut) {
    QVector<BrokenFile> files;
    auto add = [&files](const QString &name, const QByteArray &bytes, bool legal,
                        const QString &reason = {}) {
        files.push_back({name, bytes, legal, reason});
    };
    // A good file cut short, at the lengths given or at every length; from legalFrom on it still
    // holds a whole frame.
    auto cuts = [&](const QByteArray &good, const QString &ending, QVector<int> lengths, int legalFrom,
                    auto reasonAt) {
        if (everyCut) {
            lengths.clear();
            for (int length = 0; length < good.size(); ++length)
                lengths.push_back(length);
        }
        for (int length : lengths)
            add(QString("cut%1.%2").arg(length).arg(ending), good.left(length), length >= legalFrom,
                length >= legalFrom ? QString() : reasonAt(length));
    };

    const QByteArray goodXyzm = xyzm(3, 2);
    cuts(goodXyzm, "xyzm", {0, 10, 32, 33, 45, 104, 105, 123, int(goodXyzm.size()) - 1}, goodXyzm.size(),
         [&](int length) { return length < 33 ? QString() : sizeMismatchMessage(goodXyzm.size(), length); });
    add("junk.xyzm", goodXyzm + "junk", false, sizeMismatchMessage(goodXyzm.size(), goodXyzm.size() + 4));
    add("zero.xyzm", xyzm(0, 2), false, "invalid frame size 0 x 2");
    add("negative.xyzm", xyzm(-3, 2), false, "invalid frame size -3 x 2");
    add("huge.xyzm", xyzmText(99999, 99999) + QByteArray(64, '\1'), false, tooLarge(99999, 99999));
    add("notxyzm.xyzm", "image size width y height = 3 x 2" + goodXyzm.mid(33), false, "not an XYZM file");
    add("nan.xyzm", xyzm(3, 2, NAN), true);
    add("infinite.xyzm", xyzm(3, 2, INFINITY), true);
    add("unmeasured.xyzm", xyzm(3, 2, 1.0f, 0), true);
    add("one.xyzm", xyzm(1, 1), true);
    add("row.xyzm", xyzm(5, 1), true);
    add("column.xyzm", xyzm(1, 5), true);
    // The header is matched the scanf way: blanks around '=' and 'x' may be missing.
    add("lenient.xyzm", "image size width x height=3 x2" + goodXyzm.mid(33), true);
    // Coordinate bytes '0' and '7' right after the height, which a digit scan would take for more
    // of the height.
    for (int h : {1, 12})
        add(QString("digits%1.xyzm").arg(h), xyzm(2, h).replace(xyzmText(2, h).size(), 4, "07\x80\x3f"),
            true);

    const QByteArray goodPt = pt(3, 2);
    cuts(goodPt, "pt",
         {0, 4, 20, 24, 28, 29, 33, 129, 225, 297, 337, 409, 449, 461, 473, int(goodPt.size()) - 1},
         goodPt.size(), [&](int length) {
             return length < 449 ? QString("expected at least 449 bytes")
                                 : sizeMismatchMessage(goodPt.size(), length);
         });
    add("junk.pt", goodPt + "junk", false, sizeMismatchMessage(goodPt.size(), goodPt.size() + 4));
    add("version0.pt", pt(3, 2, 300.0f, 9, 0), false, "unsupported PT version 0");
    add("version2.pt", pt(3, 2, 300.0f, 9, 2), false, "unsupported PT version 2");
    add("zero.pt", pt(0, 2), false, "invalid frame size 0 x 2");
    add("negative.pt", pt(3, -2), false, "invalid frame size 3 x -2");
    add("huge.pt", ptHeader(1, 100000, 100000), false, tooLarge(100000, 100000));
    add("colour.pt", ptHeader(1, 3, 2, 1) + goodPt.mid(449), false, sizeMismatchMessage(449 + 24 + 18, 479));
    add("nan.pt", pt(3, 2, NAN), true);
    add("infinite.pt", pt(3, 2, -INFINITY), true);
    add("unmeasured.pt", pt(3, 2, 300.0f, 0), true);
    add("one.pt", pt(1, 1), true);
    add("row.pt", pt(5, 1), true);
    add("column.pt", pt(1, 5), true);

    const QByteArray goodPtv = ptv(3, 2, 3, 3);
    cuts(goodPtv, "ptv", {0, 4, 20, 24, 28, 32, 36, 37, 41, 137, 233, 305, 345, 417, 457, 486}, 457 + 30,
         [](int length) { return length < 457 ? "expected at least 457 bytes" : "no complete frame"; });
    add("beyond.ptv", ptv(3, 2, 9, 3), true); // plays the frames it holds
    add("partial.ptv", goodPtv + QByteArray(7, 'x'), true);
    add("rate0.ptv", ptv(3, 2, 3, 3, 0.0f), false, "invalid frame rate 0");
    add("ratenegative.ptv", ptv(3, 2, 3, 3, -15.0f), false, "invalid frame rate -15");
    add("ratenan.ptv", ptv(3, 2, 3, 3, NAN), false, "invalid frame rate");
    add("rateinfinite.ptv", ptv(3, 2, 3, 3, INFINITY), false, "invalid frame rate");
    add("count0.ptv", ptv(3, 2, 0, 3), false, "invalid frame count 0");
    add("countnegative.ptv", ptv(3, 2, -3, 3), false, "invalid frame count -3");
    add("version0.ptv", ptv(3, 2, 3, 3, 15.0f, 300.0f, 0), false, "unsupported PTV version 0");
    add("version2.ptv", ptv(3, 2, 3, 3, 15.0f, 300.0f, 2), false, "unsupported PTV version 2");
    add("zero.ptv", ptv(0, 2, 3, 3), false, "invalid frame size 0 x 2");
    add("negative.ptv", ptv(-3, 2, 3, 3), false, "invalid frame size -3 x 2");
    add("huge.ptv", ptv(60000, 60000, 3, 0), false, tooLarge(60000, 60000));
    add("nan.ptv", ptv(3, 2, 3, 3, 15.0f, NAN), true);
    add("single.ptv", ptv(3, 2, 1, 1), true);
    add("one.ptv", ptv(1, 1, 2, 2), true);
    add("row.ptv", ptv(5, 1, 2, 2), true);
    add("column.ptv", ptv(1, 5, 2, 2), true);

    // Fuzz finds. Sides near the 32-bit limit made 3 x W x H overflow 64 bits, and ten digits per
    // side let W x H pass 2^64 (2147418113 x 8590196740 is 2^64 + 4, so a frame of 4 pixels took
    // the size check and the store a frame over buffers of 4 pixels). Frames just inside the limit
    // are still frames, refused only for the bytes they lack.
    for (int32_t side : {2038004089, INT_MAX})
        add(QString("fuzz%1.pt").arg(side), ptHeader(1, side, side) + QByteArray(624, '\x79'), false,
            tooLarge(side, side));
    for (int32_t side : {1835887981, INT_MAX})
        add(QString("fuzz%1.ptv").arg(side),
            ptv(side, side, 758264109, 0, 2.6552120289125014e-06f) + QByteArray(39, '\0'), false,
            tooLarge(side, side));
    const struct {
        qint64 w, h;
        int dataBytes;
    } limits[] = {{2147418113LL, 8590196740LL, 64},
                  {4294836226LL, 4295098370LL, 64},
                  {9999999999LL, 9999999999LL, 0},
                  {INT_MAX, INT_MAX, 0},
                  {715827883, 1, 0},
                  {26755, 26755, 0},
                  {715827882, 1, 0},
                  {1, 715827882, 0},
                  {26754, 26754, 0}};
    for (const auto &s : limits) {
        const bool fits = s.h <= 715827882 / s.w;
        const QByteArray text = xyzmText(s.w, s.h);
        add(QString("limit%1x%2.xyzm").arg(s.w).arg(s.h), text + QByteArray(s.dataBytes, '\0'), false,
            fits ? sizeMismatchMessage(text.size() + 16 * s.w * s.h, text.size() + s.dataBytes)
                 : tooLarge(s.w, s.h));
        if (s.w <= INT_MAX && s.h <= INT_MAX)
            add(QString("limit%1x%2.pt").arg(s.w).arg(s.h), ptHeader(1, int(s.w), int(s.h)), false,
                fits ? sizeMismatchMessage(449 + 5 * s.w * s.h, 449) : tooLarge(s.w, s.h));
    }
    return files;
}

bool loadScanFile(ScanFrameStore &store, const QString &path, QString *error) {
    if (path.endsWith(".xyzm")) {
        if (!loadXYZMFile(store, path, error, nullptr))
            return false;
        store.buildCoordinateMesh();
        return true;
    }
    if (path.endsWith(".pt")) {
        if (!loadPtFile(store, path, error))
            return false;
    } else {
        PTVReader reader;
        std::FILE *file = nullptr;
        PtvHeader header;
        PtvFrameDecoder decoder;
        const bool loaded = reader.openStream(path, file, error) && reader.readHeader(file, header, error) &&
                            decoder.readFrame(file, header, nextPtvFrame(0, header.framesFound), error) &&
                            beginPtvSequence(store, header, error);
        if (loaded)
            decoder.commitFrame(header, store);
        reader.closeStream(file);
        if (!loaded)
            return false;
    }
    store.computePhaseStatistics();
    store.buildPhaseMesh();
    return true;
}
