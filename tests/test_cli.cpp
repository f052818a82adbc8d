#include "broken_files.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "test_support.h"

#include <QImage>
#include <QProcess>
#include <QtTest>

#include <cmath>
#include <cstring>

#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run pelnor(const QStringList &arguments) {
    QProcess process;
    if (arguments.value(0) == "render") {
        // llvmpipe keeps blocks of its compiled shaders to the end; they are not the tool's leaks.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        process.setProcessEnvironment(environment);
    }
    process.start(PELNOR_BIN, arguments);
    process.waitForFinished(120000);
    Run run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The vertices and faces of a binary little-endian PLY as the convert command writes it.
struct Ply {
    int vertices = -1;
    int faces = -1;
    QByteArray body;
};

Ply readPly(const QString &path) {
    const QByteArray bytes = readAll(path);
    Ply ply;
    const int end = bytes.indexOf("end_header\n");
    if (end < 0)
        return ply;
    for (const QByteArray &line : bytes.left(end).split('\n')) {
        if (line.startsWith("element vertex "))
            ply.vertices = line.mid(15).toInt();
        if (line.startsWith("element face "))
            ply.faces = line.mid(13).toInt();
    }
    ply.body = bytes.mid(end + 11);
    return ply;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

  private slots:
    void sampleInfoAndConvertAgreeWithTheScene() {
        QTemporaryDir dir;
        const QString pt = dir.filePath("scan.pt"), truth = dir.filePath("truth.xyzm");
        QCOMPARE(pelnor({"sample", pt, "--size", "160x120"}).status, 0);
        QCOMPARE(pelnor({"sample", truth, "--size", "160x120"}).status, 0);

        const Run info = pelnor({"info", pt});
        QCOMPARE(info.status, 0);
        const QStringList lines = info.out.split('\n');
        QCOMPARE(lines.at(0), "File name: scan.pt");
        QCOMPARE(lines.at(2), "Frame width: 160");
        QCOMPARE(lines.at(4), "Frame size: 19200");
        QVERIFY(info.out.contains("Format: PT"));

        // Converting the capture to coordinates gives back the surface the scene was made of.
        const QString xyzm = dir.filePath("scan.xyzm");
        QCOMPARE(pelnor({"convert", pt, xyzm}).status, 0);
        ScanFrameStore converted, expected;
        QString error;
        QVERIFY(loadXYZMFile(converted, xyzm, &error, nullptr));
        QVERIFY(loadXYZMFile(expected, truth, &error, nullptr));
        int valid = 0;
        for (int i = 0; i < converted.pixelCount; ++i) {
            QCOMPARE(converted.mask[i] != 0, expected.mask[i] != 0);
            if (!expected.mask[i])
                continue;
            ++valid;
            for (int a = 0; a < 3; ++a)
                QVERIFY(std::fabs(converted.xyz[3 * i + a] - expected.xyz[3 * i + a]) <
                        1e-4f * expected.xyz[3 * i + 2]);
        }
        QVERIFY(valid > 5000);
        // The facts are those of the measured surface: its count, depth extremes and mean.
        QCOMPARE(lines.at(5), QString("Valid coordinates: %1").arg(valid));
        float nearest = 1e9f, farthest = 0;
        double depthSum = 0;
        for (int i = 0; i < expected.pixelCount; ++i) {
            if (expected.mask[i]) {
                nearest = std::min(nearest, expected.xyz[3 * i + 2]);
                farthest = std::max(farthest, expected.xyz[3 * i + 2]);
                depthSum += expected.xyz[3 * i + 2];
            }
        }
        const QStringList zRange = lines.at(8).split(' ');
        QCOMPARE(zRange.value(1), "Range:");
        QVERIFY2(std::fabs(zRange.value(3).toFloat() - nearest) < 0.01f &&
                     std::fabs(zRange.value(5).toFloat() - farthest) < 0.01f,
                 qPrintable(lines.at(8)));
        QVERIFY2(std::fabs(lines.at(9).split(' ').value(7).toDouble() - depthSum / valid) < 0.01,
                 qPrintable(lines.at(9)));

        // --pixel: the point measured there, or word that nothing was; outside the frame is misuse.
        for (int i : {60 * 160 + 80, 0, 119 * 160 + 159, 30 * 160 + 100}) {
            const Run at = pelnor({"info", pt, "--pixel", QString("%1,%2").arg(i % 160).arg(i / 160)});
            QCOMPARE(at.status, 0);
            const QString line = at.out.split('\n', Qt::SkipEmptyParts).last();
            QVERIFY2(line.startsWith(QString("Point at pixel (%1, %2): ").arg(i % 160).arg(i / 160)),
                     qPrintable(line));
            if (!expected.mask[i]) {
                QVERIFY(line.endsWith(": nothing measured"));
                continue;
            }
            const QStringList xyz = line.section(": ", 1).split(' ');
            QCOMPARE(xyz.size(), 3);
            for (int a = 0; a < 3; ++a)
                QVERIFY(std::fabs(xyz[a].toFloat() - expected.xyz[3 * i + a]) <
                        1e-4f * expected.xyz[3 * i + 2]);
        }
        QCOMPARE(pelnor({"info", pt, "--pixel", "160,0"}).status, 2);
        QCOMPARE(pelnor({"info", pt, "--pixel", "3;4"}).status, 2);

        // PLY: one vertex per measured pixel at its coordinates, triangles renumbered to them.
        const QString plyPath = dir.filePath("scan.ply");
        QCOMPARE(pelnor({"convert", pt, plyPath}).status, 0);
        const Ply ply = readPly(plyPath);
        QCOMPARE(ply.vertices, valid);
        QVERIFY(ply.faces > valid); // a closed grid has about two triangles per pixel
        QCOMPARE(ply.body.size(), ply.vertices * 27 + ply.faces * 13);
        const char *v = ply.body.constData();
        int facingCamera = 0;
        for (int i = 0, k = 0; i < converted.pixelCount; ++i) {
            if (!converted.mask[i])
                continue;
            QVERIFY(std::memcmp(v + 27 * k, &converted.xyz[3 * i], 12) == 0);
            float n[3];
            std::memcpy(n, v + 27 * k + 12, 12);
            const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            QVERIFY(length == 0 || std::fabs(length - 1) < 1e-5f);
            facingCamera += n[2] < 0;
            ++k;
        }
        QVERIFY(facingCamera > valid * 9 / 10); // surfaces seen by the camera face it
        const char *f = v + 27 * ply.vertices;
        for (int k = 0; k < ply.faces; ++k) {
            QCOMPARE(int(f[13 * k]), 3);
            int32_t index[3];
            std::memcpy(index, f + 13 * k + 1, 12);
            for (int32_t i : index)
                QVERIFY(i >= 0 && i < ply.vertices);
        }

        // And back: PT to PT keeps the phase bit for bit.
        QCOMPARE(pelnor({"convert", pt, dir.filePath("copy.pt")}).status, 0);
        QCOMPARE(readAll(dir.filePath("copy.pt")).mid(449), readAll(pt).mid(449));
    }

    void megapixelFrames() {
        QTemporaryDir dir;
        const QString pt = dir.filePath("big.pt");
        QCOMPARE(pelnor({"sample", pt, "--size", "1280x1024"}).status, 0);
        QCOMPARE(readAll(pt).size(), 449 + 5 * 1280 * 1024);
        const Run info = pelnor({"info", pt});
        QCOMPARE(info.status, 0);
        QVERIFY(info.out.contains("Frame size: 1310720\n"));
        QCOMPARE(pelnor({"convert", pt, dir.filePath("big.ply")}).status, 0);
        QVERIFY(readPly(dir.filePath("big.ply")).vertices > 400000);
    }

    void sequences() {
        QTemporaryDir dir;
        const QString ptv = dir.filePath("walk.ptv");
        QCOMPARE(pelnor({"sample", ptv, "--size", "64x48", "--frames", "6", "--rate", "15"}).status, 0);
        QCOMPARE(readAll(ptv).size(), 457 + 6 * 5 * 64 * 48);
        const Run info = pelnor({"info", ptv, "--frame", "4"});
        QCOMPARE(info.status, 0);
        QVERIFY(info.out.contains("Frame size: 3072\n"));
        QVERIFY(info.out.contains("Format: PTV\n"));
        QVERIFY(info.out.contains("Frame rate: 15\n"));
        QVERIFY(info.out.contains("Frame count: 6\n"));

        // A frame saved as PT carries the phase playback showed for it.
        QCOMPARE(pelnor({"convert", ptv, dir.filePath("f4.pt"), "--frame", "4"}).status, 0);
        PTVReader reader;
        std::FILE *file = nullptr;
        PtvHeader header;
        QString error;
        QVERIFY(reader.openStream(ptv, file, &error) && reader.readHeader(file, header, &error));
        ScanFrameStore shown;
        PtvFrameDecoder decoder;
        QVERIFY(beginPtvSequence(shown, header, &error) &&
                decoder.decodeFrame(file, header, 4, shown, &error));
        reader.closeStream(file);
        QCOMPARE(readAll(dir.filePath("f4.pt")).mid(449, 4 * 3072),
                 QByteArray(reinterpret_cast<const char *>(shown.phase.get()), 4 * 3072));
        QCOMPARE(pelnor({"convert", ptv, dir.filePath("f1.ply")}).status, 0);

        Run beyond = pelnor({"info", ptv, "--frame", "6"});
        QCOMPARE(beyond.status, 1);
        QVERIFY(beyond.err.contains("frames 0 to 5"));
        QCOMPARE(pelnor({"info", ptv, "--frame", "x"}).status, 2);
        QCOMPARE(pelnor({"sample", ptv, "--frames", "0"}).status, 2);
        QCOMPARE(pelnor({"sample", ptv, "--rate", "0"}).status, 2);
    }

    // One file per frame, named by the frame's index, each the same as a conversion of that frame
    // alone; a sequence cut short stops at its first missing frame with every earlier file whole.
    void sequenceExports_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name"); // %1: the frame's index, zero-padded to `digits`
        QTest::addColumn<int>("digits");
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("ply, every frame") << "walk_%04d.ply"
                                          << "walk_%1.ply" << 4 << QStringList() << 0 << 3 << false;
        QTest::newRow("xyzm, a range")
            << "w%d.xyzm"
            << "w%1.xyzm" << 0 << QStringList{"--frames", "1-2"} << 1 << 2 << false;
        QTest::newRow("pt, one frame") << "%%w_%02d.pt"
                                       << "%w_%1.pt" << 2 << QStringList{"--frames", "3"} << 3 << 3 << false;
        QTest::newRow("ply, cut short") << "walk_%04d.ply"
                                        << "walk_%1.ply" << 4 << QStringList() << 0 << 1 << true;
        QTest::newRow("pt, cut short in range")
            << "w%d.pt"
            << "w%1.pt" << 0 << QStringList{"--frames", "1-3"} << 1 << 1 << true;
    }
    void sequenceExports() {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(int, digits);
        QFETCH(QStringList, range);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, cutShort);
        QTemporaryDir dir;
        const QString ptv = dir.filePath("walk.ptv");
        QCOMPARE(pelnor({"sample", ptv, "--size", "64x48", "--frames", "4"}).status, 0);
        if (cutShort) // frame 2 is half there
            QVERIFY(QFile::resize(ptv, 457 + 2 * 5 * 64 * 48 + 100));
        QVERIFY(QDir(dir.path()).mkdir("out"));
        const Run run = pelnor(QStringList{"convert", ptv, dir.filePath("out/" + pattern)} + range);
        QCOMPARE(run.status, cutShort ? 1 : 0);
        if (cutShort)
            QVERIFY2(run.err.contains("frame 2 ") && run.err.count('\n') == 1, qPrintable(run.err));

        QStringList expected;
        for (int k = first; k <= last; ++k) {
            expected << name.arg(k, digits, 10, QChar('0'));
            const QString one = dir.filePath("one." + QFileInfo(pattern).suffix());
            QCOMPARE(pelnor({"convert", ptv, one, "--frame", QString::number(k)}).status, 0);
            QByteArray single = readAll(one), numbered = readAll(dir.filePath("out/" + expected.last()));
            if (pattern.endsWith(".pt")) // the capture time says when the file was written
                single.remove(4, 16), numbered.remove(4, 16);
            QVERIFY2(!numbered.isEmpty() && numbered == single, qPrintable(expected.last()));
        }
        // Nothing else: no frame beyond the range or the cut, no temporary left behind.
        QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }

    // Progress is one line rewritten in place on a terminal, and nothing at all for a pipe or a log.
    void progressOnlyOnATerminal_data() {
        QTest::addColumn<bool>("terminal");
        QTest::newRow("terminal") << true;
        QTest::newRow("pipe") << false;
    }
    void progressOnlyOnATerminal() {
        QFETCH(bool, terminal);
        QTemporaryDir dir;
        const QString ptv = dir.filePath("walk.ptv"), out = dir.filePath("w_%d.ply");
        QCOMPARE(pelnor({"sample", ptv, "--size", "64x48", "--frames", "5"}).status, 0);
        QProcess process;
        if (terminal) // script runs the tool on a pseudo terminal and copies what it shows
            process.start("script",
                          {"-qec", QString("'%1' convert '%2' '%3'").arg(PELNOR_BIN, ptv, out), "/dev/null"});
        else
            process.start(PELNOR_BIN, {"convert", ptv, out});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QString shown = process.readAllStandardOutput() + process.readAllStandardError();
        QVERIFY(QFile::exists(dir.filePath("w_4.ply")));
        if (!terminal) {
            QCOMPARE(shown, QString());
            return;
        }
        QCOMPARE(shown.count("\rframe "), 5);
        QCOMPARE(shown.count('\n'), 1); // the line ends once, when the export does
        QVERIFY2(shown.contains(QRegularExpression("\rframe 2  3/5  60%  [0-9.]+ frames/s  0:[0-9]{2} left")),
                 qPrintable(shown));
        QVERIFY2(shown.contains("5/5  100%"), qPrintable(shown));
    }

    void renderDrawsThroughTheView() {
        QTemporaryDir dir;
        const QString pt = dir.filePath("scan.pt"), ptv = dir.filePath("walk.ptv"),
                      xyzm = dir.filePath("s.xyzm");
        QCOMPARE(pelnor({"sample", pt, "--size", "160x120"}).status, 0);
        QCOMPARE(pelnor({"sample", xyzm, "--size", "160x120"}).status, 0);
        QCOMPARE(pelnor({"sample", ptv, "--size", "64x48", "--frames", "4"}).status, 0);

        const QString solid = dir.filePath("solid.png");
        Run run = pelnor({"render", pt, solid, "--size", "320x240", "--light", "0"});
        QCOMPARE(run.status, 0);
        const QImage image(solid);
        QCOMPARE(image.size(), QSize(320, 240));
        QCOMPARE(image.pixelColor(0, 0), QColor(20, 20, 20));
        QCOMPARE(image.pixelColor(160, 120), QColor(255, 220, 165)); // the surface at the centre of mass

        run = pelnor({"render", pt, dir.filePath("wire.png"), "--size", "320x240", "--style", "wireframe"});
        QCOMPARE(run.status, 0);
        QVERIFY2(!run.err.contains("style"), qPrintable(run.err)); // the option is not the toolkit's
        QCOMPARE(pelnor({"render", pt, dir.filePath("lit.jpg"), "--size", "320x240"}).status, 0);
        QVERIFY(QImage(dir.filePath("wire.png")) != QImage(dir.filePath("solid.png")));
        QCOMPARE(QImage(dir.filePath("lit.jpg")).size(), QSize(320, 240));
        QCOMPARE(pelnor({"render", xyzm, dir.filePath("x.png"), "--color", "viridis"}).status, 0);
        QCOMPARE(QImage(dir.filePath("x.png")).size(), QSize(800, 600));
        // --legend adds the legend in the top-right corner and changes nothing else; a colouring
        // that is not by depth has none.
        QCOMPARE(pelnor({"render", xyzm, dir.filePath("xl.png"), "--color", "viridis", "--legend"}).status,
                 0);
        const QImage plain(dir.filePath("x.png")), legend(dir.filePath("xl.png"));
        QRect changed;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                if (plain.pixel(x, y) != legend.pixel(x, y))
                    changed |= QRect(x, y, 1, 1);
        QVERIFY2(changed.width() > 40 && changed.height() > 200 && changed.left() > 600 &&
                     changed.right() < 800 && changed.top() >= 0 && changed.bottom() < 320,
                 qPrintable(QString("%1,%2 %3x%4")
                                .arg(changed.x())
                                .arg(changed.y())
                                .arg(changed.width())
                                .arg(changed.height())));
        QCOMPARE(
            pelnor({"render", pt, dir.filePath("sl.png"), "--size", "320x240", "--light", "0", "--legend"})
                .status,
            0);
        QCOMPARE(QImage(dir.filePath("sl.png")), image);
        QCOMPARE(pelnor({"render", ptv, dir.filePath("f.png"), "--frame", "2", "--style", "points"}).status,
                 0);

        // An object beside the optical axis is drawn whole: clear of the image border, filling much
        // of the image.
        const QString off = dir.filePath("off.pt");
        QCOMPARE(pelnor({"sample", off, "--size", "320x240", "--scene", "off-centre"}).status, 0);
        QCOMPARE(pelnor({"render", off, dir.filePath("off.png"), "--size", "400x300"}).status, 0);
        const QImage offImage(dir.filePath("off.png"));
        QRect drawn;
        for (int y = 0; y < offImage.height(); ++y)
            for (int x = 0; x < offImage.width(); ++x)
                if (offImage.pixelColor(x, y) != QColor(20, 20, 20))
                    drawn |= QRect(x, y, 1, 1);
        QVERIFY2(QRect(1, 1, 398, 298).contains(drawn) && (drawn.width() > 200 || drawn.height() > 150),
                 qPrintable(QString("drawn %1 x %2 at %3, %4")
                                .arg(drawn.width())
                                .arg(drawn.height())
                                .arg(drawn.x())
                                .arg(drawn.y())));

        // A thumbnail: a square asked for by its edge, clear where no surface is, the surface as opaque
        // as on the dark background.
        const QString clear = dir.filePath("clear.png");
        QCOMPARE(pelnor({"render", pt, clear, "--size", "240", "--light", "0", "--transparent"}).status, 0);
        const QImage thumbnail(clear);
        QCOMPARE(thumbnail.size(), QSize(240, 240));
        QCOMPARE(thumbnail.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(thumbnail.pixelColor(120, 120), QColor(255, 220, 165));

        QCOMPARE(pelnor({"render", pt, dir.filePath("y.png"), "--size", "240x"}).status, 2);
        QCOMPARE(pelnor({"render", pt, dir.filePath("y.png"), "--style", "glass"}).status, 2);
        QCOMPARE(pelnor({"render", pt, dir.filePath("y.png"), "--light", "101"}).status, 2);
        QCOMPARE(pelnor({"render", dir.filePath("none.pt"), dir.filePath("y.png")}).status, 1);

        // Without any display there is no OpenGL: say so, and how to run it on such a machine.
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(environment);
        process.start(PELNOR_BIN, {"render", pt, dir.filePath("z.png")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString(process.readAllStandardError()).contains("xvfb-run"));
        QVERIFY(!QFile::exists(dir.filePath("z.png")));
    }

    // Every broken file is refused with one line and status 1, every odd but legal one loads, and
    // none brings the tool down or puts NaN into the facts.
    void brokenFilesAreRefusedCleanly() {
        QTemporaryDir dir;
        for (const BrokenFile &file : brokenFiles()) {
            const QString path = dir.filePath(file.name);
            writeAll(path, file.bytes);
            const Run run = pelnor({"info", path});
            QVERIFY2(run.status == (file.legal ? 0 : 1), qPrintable(file.name + ": " + run.err));
            if (file.legal) {
                const QString geometry = run.out.split('\n').mid(6, 4).join('\n');
                QVERIFY2(geometry.startsWith("X Range:") && !geometry.contains("nan") &&
                             !geometry.contains("inf"),
                         qPrintable(file.name + ": " + geometry));
            } else {
                QVERIFY2(run.err.startsWith("pelnor: " + path + ": ") && run.err.count('\n') == 1,
                         qPrintable(file.name + ": " + run.err));
            }
        }
    }

    // An input that cannot be read is told in one line before any display is sought.
    void unreadableInputGivesOneLine_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("display");
        QTest::newRow("info, missing") << "info"
                                       << "missing.pt"
                                       << ":4242";
        QTest::newRow("convert, broken") << "convert"
                                         << "broken.pt"
                                         << ":4242";
        QTest::newRow("render, missing, display away") << "render"
                                                       << "missing.pt"
                                                       << ":4242";
        QTest::newRow("render, broken, no display") << "render"
                                                    << "broken.pt"
                                                    << "";
    }
    void unreadableInputGivesOneLine() {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, display);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        writeAll(dir.filePath("broken.pt"), QByteArray(500, '\1'));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        environment.insert("DISPLAY", display);
        process.setProcessEnvironment(environment);
        QStringList arguments = {command, path};
        if (command != "info")
            arguments << dir.filePath(command == "render" ? "out.png" : "out.ply");
        process.start(PELNOR_BIN, arguments);
        QVERIFY(process.waitForFinished(60000));
        const QString err = process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.startsWith("pelnor: " + path + ": ") && err.count('\n') == 1, qPrintable(err));
    }

    // Saving over a writable file in a folder that refuses new files writes it in place.
    void savingIntoALockedFolder_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("pt") << "pt";
        QTest::newRow("xyzm") << "xyzm";
    }
    void savingIntoALockedFolder() {
        QFETCH(QString, ending);
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther);
        const QString in = dir.filePath("in.pt"), open = dir.filePath("open." + ending);
        QCOMPARE(pelnor({"sample", in, "--size", "40x30"}).status, 0);
        QCOMPARE(pelnor({"convert", in, open}).status, 0);
        QVERIFY(QDir(dir.path()).mkdir("locked"));
        const QString locked = dir.filePath("locked/out." + ending);
        writeAll(locked, "an older scan");
        QFile::setPermissions(locked,
                              QFile::ReadOther | QFile::WriteOther | QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(dir.filePath("locked"),
                              QFile::ReadOther | QFile::ExeOther | QFile::ReadOwner | QFile::ExeOwner);
        // The superuser may create files anywhere: run the tool as nobody there.
        QStringList command = {PELNOR_BIN, "convert", in, locked};
        if (geteuid() == 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        QProcess probe;
        probe.start(command.at(0), command.mid(1, command.size() - 4) + QStringList{"--version"});
        if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
            QSKIP("the tool cannot run as an unprivileged user here");
        QProcess process;
        process.start(command.at(0), command.mid(1));
        QVERIFY(process.waitForFinished(60000));
        const QByteArray err = process.readAllStandardError();
        QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(process.exitCode() == 0, err.constData());
        QCOMPARE(readAll(locked).mid(ending == "pt" ? 20 : 0), readAll(open).mid(ending == "pt" ? 20 : 0));
    }

    void failuresAndUsage() {
        QTemporaryDir dir;
        Run run;
        const QString broken = dir.filePath("broken.xyzm");
        writeAll(broken, "image size width x height = 4 x 4 and then nothing");
        run = pelnor({"convert", broken, dir.filePath("out.ply")});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("expected"));
        QVERIFY(!QFile::exists(dir.filePath("out.ply")));

        const QString xyzm = dir.filePath("s.xyzm");
        QCOMPARE(pelnor({"sample", xyzm, "--size", "8x8"}).status, 0);
        run = pelnor({"convert", xyzm, dir.filePath("s.pt")});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("no phase"));
        QCOMPARE(pelnor({"info", dir.filePath("scan.txt")}).status, 1);

        QCOMPARE(pelnor({}).status, 2);
        QCOMPARE(pelnor({"frobnicate"}).status, 2);
        QCOMPARE(pelnor({"info"}).status, 2);
        QCOMPARE(pelnor({"sample", dir.filePath("x.pt"), "--size", "0x5"}).status, 2);
        QCOMPARE(pelnor({"sample", dir.filePath("x.pt"), "--size", "big"}).status, 2);
        QCOMPARE(pelnor({"convert", xyzm, dir.filePath("x.txt")}).status, 2);
        QCOMPARE(pelnor({"info", "--bogus", xyzm}).status, 2);
        run = pelnor({"--help"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains("convert"));
        QCOMPARE(pelnor({"info", "--help"}).status, 0);
        QCOMPARE(pelnor({"--version"}).out, QStringLiteral("pelnor " PELNOR_VERSION "\n"));
    }

#ifndef PELNOR_SANITIZED
    // A header that passes every check but asks for more memory than there is.
    void frameTooLargeForMemory() {
        QTemporaryDir dir;
        const QString path = dir.filePath("huge.pt");
        PtHeader header;
        header.width = 16000;
        header.height = 16000;
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        unsigned char bytes[PtHeader::kSize] = {};
        std::memcpy(bytes, &header.version, 4);
        std::memcpy(bytes + 20, &header.width, 4);
        std::memcpy(bytes + 24, &header.height, 4);
        file.write(reinterpret_cast<char *>(bytes), sizeof bytes);
        QVERIFY(file.resize(header.fileSize())); // sparse: no disk is spent
        file.close();
        QProcess process;
        process.start("sh", {"-c", QString("ulimit -v 1500000; exec '%1' info '%2'").arg(PELNOR_BIN, path)});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(
            QString(process.readAllStandardError()).contains("not enough memory for a 16000 x 16000 frame"));
    }
#endif
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
