#include "broken_files.h"

#include "data/binary_file.h"
#include "data/ptv_reader.h"
#include "sample/sample_files.h"

#include <cmath>
#include <vector>

namespace {

QByteArray floats(std::vector<float> values) {
    return QByteArray(reinterpret_cast<const char *>(values.data()), int(4 * values.size()));
}

QByteArray xyzm(int w, int h, float special = 1.0f, char mask = 1) {
    const int n = std::max(0, w * h);
    std::vector<float> xyz(size_t(3 * n));
    for (int i = 0; i < 3 * n; ++i)
        xyz[size_t(i)] = float(i) + 0.5f;
    if (n > 0)
        xyz[0] = special;
    return "image size width x height = " + QByteArray::number(w) + " x " + QByteArray::number(h) +
           floats(xyz) + QByteArray(3 * n, 'c') + QByteArray(n, mask);
}

QByteArray ptHeader(int version, int w, int h) {
    unsigned char b[449] = {};
    writeField<int32_t>(b, 0, version);
    std::memcpy(b + 4, "2026-01-02-03-04", 16);
    writeField<int32_t>(b, 20, w);
    writeField<int32_t>(b, 24, h);
    writeField<int32_t>(b, 29, 0);
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

} // namespace

QVector<BrokenFile> brokenFiles() {
    QVector<BrokenFile> files;
    auto add = [&files](const QString &name, const QByteArray &bytes, bool legal) {
        files.push_back({name, bytes, legal});
    };

    const QByteArray goodXyzm = xyzm(3, 2);
    for (int cut : {0, 10, 32, 33, 33 + 12, 33 + 72 - 1, 33 + 72, 33 + 72 + 18, int(goodXyzm.size()) - 1})
        add(QString("cut%1.xyzm").arg(cut), goodXyzm.left(cut), false);
    add("junk.xyzm", goodXyzm + "junk", false);
    add("zero.xyzm", xyzm(0, 2), false);
    add("negative.xyzm", xyzm(-3, 2), false);
    add("huge.xyzm", "image size width x height = 99999 x 99999" + QByteArray(64, '\1'), false);
    add("nan.xyzm", xyzm(3, 2, NAN), true);
    add("infinite.xyzm", xyzm(3, 2, INFINITY), true);
    add("unmeasured.xyzm", xyzm(3, 2, 1.0f, 0), true);
    add("one.xyzm", xyzm(1, 1), true);
    add("row.xyzm", xyzm(5, 1), true);
    add("column.xyzm", xyzm(1, 5), true);

    const QByteArray goodPt = pt(3, 2);
    for (int cut :
         {0, 4, 20, 24, 28, 29, 33, 129, 225, 297, 337, 409, 449, 449 + 12, 449 + 24, int(goodPt.size()) - 1})
        add(QString("cut%1.pt").arg(cut), goodPt.left(cut), false);
    add("junk.pt", goodPt + "junk", false);
    add("version0.pt", pt(3, 2, 300.0f, 9, 0), false);
    add("version2.pt", pt(3, 2, 300.0f, 9, 2), false);
    add("zero.pt", pt(0, 2), false);
    add("negative.pt", pt(3, -2), false);
    add("huge.pt", ptHeader(1, 100000, 100000), false);
    add("nan.pt", pt(3, 2, NAN), true);
    add("infinite.pt", pt(3, 2, -INFINITY), true);
    add("unmeasured.pt", pt(3, 2, 300.0f, 0), true);
    add("one.pt", pt(1, 1), true);
    add("row.pt", pt(5, 1), true);
    add("column.pt", pt(1, 5), true);

    const QByteArray goodPtv = ptv(3, 2, 3, 3);
    for (int cut : {0, 4, 20, 24, 28, 32, 36, 37, 41, 137, 233, 305, 345, 417, 457, 457 + 29})
        add(QString("cut%1.ptv").arg(cut), goodPtv.left(cut), false);
    add("beyond.ptv", ptv(3, 2, 9, 3), true); // plays the frames it holds
    add("partial.ptv", goodPtv + QByteArray(7, 'x'), true);
    add("rate0.ptv", ptv(3, 2, 3, 3, 0.0f), false);
    add("ratenan.ptv", ptv(3, 2, 3, 3, NAN), false);
    add("count0.ptv", ptv(3, 2, 0, 3), false);
    add("version0.ptv", ptv(3, 2, 3, 3, 15.0f, 300.0f, 0), false);
    add("version2.ptv", ptv(3, 2, 3, 3, 15.0f, 300.0f, 2), false);
    add("zero.ptv", ptv(0, 2, 3, 3), false);
    add("negative.ptv", ptv(-3, 2, 3, 3), false);
    add("huge.ptv", ptv(60000, 60000, 3, 0), false);
    add("nan.ptv", ptv(3, 2, 3, 3, 15.0f, NAN), true);
    add("single.ptv", ptv(3, 2, 1, 1), true);
    add("one.ptv", ptv(1, 1, 2, 2), true);
    add("row.ptv", ptv(5, 1, 2, 2), true);
    add("column.ptv", ptv(1, 5, 2, 2), true);
    return files;
}
