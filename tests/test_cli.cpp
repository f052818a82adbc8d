#include "broken_files.h"
#include "data/pt_file.h"
#include "data/xyzm_file.h"
#include "run_program.h"
#include "sequence_frames.h"
#include "test_support.h"

#include <QImage>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <unistd.h>

namespace {

// The bounding box of the pixels where two pictures of one size differ.
QRect differing(const QImage &a, const QImage &b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

// The count of vertices or faces that a PLY header gives.
int plyCount(const QByteArray &ply, const char *element) {
    return QRegularExpression(QString("\nelement %1 (\\d+)\n").arg(element)).match(ply).captured(1).toInt();
}

// A machine without any display.
QProcessEnvironment headless() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    return environment;
}

const QColor kBackground(20, 20, 20), kSolid(255, 220, 165);

} // namespace

// Every test reads the same captures, made once by the tool's virtual scanner.
class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString pt, xyzm, ptv, off; // a capture, the surface it shows, a sequence and a shape off the axis
    ScanFrameStore truth;

    QString path(const QString &name) const { return dir.filePath(name); }

    // Renders into a new image of the ending; a null image when the tool failed or said anything
    // (the toolkit would, were it handed the tool's options).
    QImage render(const QString &in, const QStringList &options, const QString &ending = "png") {
        static int count = 0;
        const QString out = path(QString("render%1.%2").arg(++count).arg(ending));
        const Run r = pelnor(QStringList{"render", in, out} + options);
        if (r.status == 0 && r.err.isEmpty())
            return QImage(out);
        qWarning("render %s: %s", qPrintable(options.join(' ')), qPrintable(r.err));
        return {};
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        pt = path("scan.pt"), xyzm = path("scan.xyzm"), ptv = path("walk.ptv"), off = path("off.pt");
        for (const QStringList &sample : {QStringList{pt, "--size", "160x120"},
                                          {xyzm, "--size", "160x120"},
                                          {ptv, "--size", "64x48", "--frames", "6", "--rate", "15"},
                                          {off, "--size", "320x240", "--scene", "off-centre"}})
            QCOMPARE(pelnor(QStringList{"sample"} + sample).status, 0);
        QString error;
        QVERIFY2(loadXYZMFile(truth, xyzm, &error, nullptr), qPrintable(error));
        writeAll(path("broken.pt"), QByteArray(500, '\1'));
        writeAll(path("broken.xyzm"), "image size width x height = 4 x 4 and then nothing");
        for (const BrokenFile &file : brokenFiles()) // a colour capture, a sequence short of its frames
            if (file.name == "threebytes.pt" || file.name == "beyond.ptv")
                writeAll(path(file.name), file.bytes);
    }

    void sampleInfoAndConvertAgreeWithTheScene() {
        const int valid = int(std::count_if(truth.mask.get(), truth.mask.get() + truth.pixelCount,
                                            [](uint8_t measured) { return measured != 0; }));
        QVERIFY(valid > 5000);
        // The facts are those of the measured surface (their ranges and mean: fileInfoRowsTellMeasuredFacts).
        const QStringList lines = pelnor({"info", pt}).out.split('\n');
        QCOMPARE(lines.mid(0, 1) + lines.mid(2, 1) + lines.mid(4, 2),
                 QStringList({"File name: scan.pt", "Frame width: 160", "Frame size: 19200",
                              QString("Valid coordinates: %1").arg(valid)}));
        // Within a ten thousandth of the depth, coordinate by coordinate.
        const auto near = [](const float *a, const float *b) {
            return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 1e-4f * b[2];
        };

        // --pixel: the point measured there, or word that nothing was.
        for (int i : {60 * 160 + 80, 0, 119 * 160 + 159, 30 * 160 + 100}) {
            const QString pixel = QString("%1,%2").arg(i % 160).arg(i / 160);
            const QString line = pelnor({"info", pt, "--pixel", pixel}).out.section('\n', -2, -2);
            const QStringList p = line.section(": ", 1).split(' ');
            const float xyz[3] = {p.value(0).toFloat(), p.value(1).toFloat(), p.value(2).toFloat()};
            QVERIFY2(line.startsWith(QString("Point at pixel (%1, %2): ").arg(i % 160).arg(i / 160)) &&
                         (truth.mask[i] ? p.size() == 3 && near(xyz, &truth.xyz[3 * i])
                                        : p.join(' ') == "nothing measured"),
                     qPrintable(line));
        }

        // PLY: one vertex per measured pixel at the scene's coordinates, triangles renumbered to them.
        QCOMPARE(pelnor({"convert", pt, path("scan.ply")}).status, 0);
        const QByteArray ply = readAll(path("scan.ply"));
        const int faces = plyCount(ply, "face");
        QCOMPARE(plyCount(ply, "vertex"), valid);
        QVERIFY(faces > valid); // a closed grid has about two triangles per pixel
        const QByteArray body = ply.mid(ply.indexOf("end_header\n") + 11);
        QCOMPARE(body.size(), valid * 27 + faces * 13);
        const char *v = body.constData();
        int facingCamera = 0;
        for (int i = 0, k = 0; i < truth.pixelCount; ++i) {
            if (!truth.mask[i])
                continue;
            float p[6]; // the point and its normal
            std::memcpy(p, v + 27 * k++, 24);
            QVERIFY(near(p, &truth.xyz[3 * i]));
            facingCamera += p[5] < 0;
        }
        // Surfaces seen by the camera face it (the mesh's normals are unit: meshesCoverTheUsableCells).
        QVERIFY(facingCamera > valid * 9 / 10);
        for (const char *f = v + 27 * valid; f < v + body.size(); f += 13) {
            int32_t index[3];
            std::memcpy(index, f + 1, 12);
            QVERIFY(f[0] == 3 &&
                    std::all_of(index, index + 3, [&](int32_t i) { return i >= 0 && i < valid; }));
        }

        // And back: PT to PT keeps the phase bit for bit.
        QCOMPARE(pelnor({"convert", pt, path("copy.pt")}).status, 0);
        QCOMPARE(readAll(path("copy.pt")).mid(449), readAll(pt).mid(449));
    }

    // What the tool answers, with no display to be had: facts on stdout; misuse with status 2 and
    // the usage; a file it cannot read or write with status 1 and one line. A failure writes nothing.
    void answers_data() {
        QTest::addColumn<QStringList>("arguments"); // @/ is the folder of the captures
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("said");
        const auto row = [](const char *name, const QStringList &arguments, int status,
                            const QStringList &said = {}) {
            QTest::newRow(name) << arguments << status << said;
        };
        row("sequence frame facts", {"info", "@/walk.ptv", "--frame", "4"}, 0,
            {"Frame size: 3072\n", "Format: PTV\n", "Frame rate: 15\n", "Frame count: 6\n"});
        row("sequence short of frames", {"info", "@/beyond.ptv"}, 0,
            {"Frames found: 3 (", "Frame count: 9\n"});
        row("coordinates", {"info", "@/scan.xyzm"}, 0, {"Format: XYZM\n", "Frame width: 160\n"});
        row("colour capture", {"info", "@/threebytes.pt"}, 0, {"Texture: three bytes per pixel\n"});
        row("help", {"--help"}, 0, {"convert"});
        row("command help", {"info", "--help"}, 0, {"--pixel"});
        row("version", {"--version"}, 0, {"pelnor " PELNOR_VERSION "\n"});
        row("no command", {}, 2);
        row("unknown command", {"frobnicate"}, 2, {"'frobnicate'"});
        row("no file", {"info"}, 2);
        row("unknown option", {"info", "--bogus", "@/scan.xyzm"}, 2);
        row("frame not a number", {"info", "@/walk.ptv", "--frame", "x"}, 2);
        row("pixel outside", {"info", "@/scan.pt", "--pixel", "160,0"}, 2, {"outside the 160 x 120 frame"});
        row("pixel not a pair", {"info", "@/scan.pt", "--pixel", "3;4"}, 2);
        row("empty size", {"sample", "@/never.pt", "--size", "0x5"}, 2);
        row("size not a size", {"sample", "@/never.pt", "--size", "big"}, 2);
        row("no frames", {"sample", "@/never.ptv", "--frames", "0"}, 2);
        row("no rate", {"sample", "@/never.ptv", "--rate", "0"}, 2);
        row("unknown output", {"convert", "@/scan.xyzm", "@/never.txt"}, 2);
        row("two frame numbers", {"convert", "@/walk.ptv", "@/never_%d_%d.ply"}, 2);
        row("range without number", {"convert", "@/walk.ptv", "@/never.ply", "--frames", "1-2"}, 2);
        row("one frame into many", {"convert", "@/walk.ptv", "@/never_%d.ply", "--frame", "1"}, 2);
        row("range backwards", {"convert", "@/walk.ptv", "@/never_%d.ply", "--frames", "3-1"}, 2);
        row("render size", {"render", "@/scan.pt", "@/never.png", "--size", "240x"}, 2);
        row("render style", {"render", "@/scan.pt", "@/never.png", "--style", "glass"}, 2);
        row("render light", {"render", "@/scan.pt", "@/never.png", "--light", "101"}, 2);
        row("numbered video", {"render", "@/walk.ptv", "@/never_%d.mp4"}, 2);
        row("odd video size", {"render", "@/walk.ptv", "@/never.mp4", "--size", "95x72"}, 2);
        row("frame beyond", {"info", "@/walk.ptv", "--frame", "6"}, 1, {"@/walk.ptv: ", "frames 0 to 5"});
        row("range beyond", {"convert", "@/walk.ptv", "@/never_%d.pt", "--frames", "4-9"}, 1,
            {"frames 0 to 5"});
        row("frame of one", {"convert", "@/scan.pt", "@/never.ply", "--frame", "1"}, 1, {"one frame, 0"});
        row("unknown input", {"info", "@/scan.txt"}, 1, {"@/scan.txt: "});
        row("info, missing", {"info", "@/missing.pt"}, 1, {"@/missing.pt: "});
        row("convert, broken", {"convert", "@/broken.pt", "@/never.ply"}, 1, {"@/broken.pt: "});
        row("info, text cut short", {"info", "@/broken.xyzm"}, 1, {"expected"});
        row("convert, no phase", {"convert", "@/scan.xyzm", "@/never.pt"}, 1, {"no phase"});
        row("render, missing", {"render", "@/missing.pt", "@/never.png"}, 1, {"@/missing.pt: "});
        row("render, broken", {"render", "@/broken.pt", "@/never.png"}, 1, {"@/broken.pt: "});
    }
    void answers() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, said);
        arguments.replaceInStrings("@/", dir.path() + "/");
        const Run answer = pelnor(arguments, headless());
        QCOMPARE(answer.status, status);
        const QString text = status == 0 ? answer.out : answer.err;
        for (QString s : said)
            QVERIFY2(text.contains(s.replace("@/", dir.path() + "/")), qPrintable(text));
        if (status == 2)
            QVERIFY2(answer.out.isEmpty() && answer.err.contains("Usage: "), qPrintable(answer.err));
        if (status == 1)
            QVERIFY2(answer.err.startsWith("pelnor: /") && answer.err.count('\n') == 1,
                     qPrintable(answer.err));
        QCOMPARE(QDir(dir.path()).entryList({"never*"}), QStringList());
    }

    // One file per frame, named by the frame's index, each the same as a conversion of that frame
    // alone; a sequence cut short stops at its first missing frame with every earlier file whole.
    // Progress is one line rewritten in place on a terminal, and nothing at all for a pipe or a log.
    void sequenceExports_data() {
        QTest::addColumn<QString>("pattern"); // its files are named as printf would name them
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("cutShort"); // frame 2 is half there
        QTest::addColumn<bool>("terminal");
        const auto row = [](const char *tag, const char *pattern, const QStringList &range, int first,
                            int last, bool cutShort, bool terminal) {
            QTest::newRow(tag) << QString(pattern) << range << first << last << cutShort << terminal;
        };
        row("ply, every frame, terminal", "walk_%04d.ply", {}, 0, 5, false, true);
        row("xyzm, a range", "w%d.xyzm", {"--frames", "1-2"}, 1, 2, false, false);
        row("pt, one frame", "%%w_%02d.pt", {"--frames", "3"}, 3, 3, false, false);
        row("ply, cut short", "walk_%04d.ply", {}, 0, 1, true, false);
        row("pt, cut short in range", "w%d.pt", {"--frames", "1-3"}, 1, 1, true, false);
    }
    void sequenceExports() {
        QFETCH(QString, pattern);
        QFETCH(QStringList, range);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, cutShort);
        QFETCH(bool, terminal);
        QTemporaryDir here;
        const QString in = here.filePath("walk.ptv"), out = here.filePath("out/" + pattern);
        QVERIFY(QFile::copy(ptv, in) && QDir(here.path()).mkdir("out"));
        if (cutShort)
            QVERIFY(QFile::resize(in, 457 + 2 * 5 * 64 * 48 + 100));
        // script runs the tool on a pseudo terminal and copies what its screen shows.
        const QString command = QString("'%1' convert '%2' '%3'").arg(PELNOR_BIN, in, out);
        const Run exported = terminal ? run("script", {"-qec", command, "/dev/null"})
                                      : pelnor(QStringList{"convert", in, out} + range);
        QCOMPARE(exported.status, cutShort ? 1 : 0);
        const QString shown = exported.out + exported.err;
        if (terminal) {
            QCOMPARE(shown.count("\rframe "), 6);
            QCOMPARE(shown.count('\n'), 1); // the line ends once, when the export does
            QVERIFY2(shown.contains(
                         QRegularExpression("\rframe 2  3/6  50%  [0-9.]+ frames/s  0:[0-9]{2} left")) &&
                         shown.contains("6/6  100%"),
                     qPrintable(shown));
        } else {
            QVERIFY2(cutShort ? shown.contains("frame 2 ") && shown.count('\n') == 1 : shown.isEmpty(),
                     qPrintable(shown));
        }

        QStringList expected;
        for (int k = first; k <= last; ++k) {
            expected << QString::asprintf(qPrintable(pattern), k);
            const QString one = here.filePath("one." + QFileInfo(pattern).suffix());
            QCOMPARE(pelnor({"convert", in, one, "--frame", QString::number(k)}).status, 0);
            QByteArray single = readAll(one), numbered = readAll(here.filePath("out/" + expected.last()));
            if (pattern.endsWith(".pt")) { // the capture time says when the file was written
                single.remove(4, 16), numbered.remove(4, 16);
                // A frame saved as PT carries the phase playback showed for it.
                QCOMPARE(single.mid(449 - 16, 4 * 3072), decodedPtvFrame(in, k).left(4 * 3072));
            }
            QVERIFY2(!numbered.isEmpty() && numbered == single, qPrintable(expected.last()));
        }
        // Nothing else: no frame beyond the range or the cut, no temporary left behind.
        QCOMPARE(QDir(here.filePath("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }

    void renderDrawsThroughTheView() {
        // Unlit, the surface at the centre of mass has the solid colour, the rest the background.
        const QImage solid = render(pt, {"--size", "320x240", "--light", "0"});
        QCOMPARE(solid.size(), QSize(320, 240));
        QCOMPARE(solid.pixelColor(0, 0), kBackground);
        QCOMPARE(solid.pixelColor(160, 120), kSolid);
        // --style is the tool's option, not the toolkit's; the styles draw differently.
        const QImage wire = render(pt, {"--size", "320x240", "--light", "0", "--style", "wireframe"});
        const QImage points = render(pt, {"--size", "320x240", "--light", "0", "--style", "points"});
        QVERIFY(!wire.isNull() && wire != solid);
        QVERIFY(!points.isNull() && points != solid && points != wire);
        QCOMPARE(render(pt, {"--size", "320x240"}, "jpg").size(), QSize(320, 240));

        // --legend draws the view's legend, which only a colouring by depth has (where it goes and
        // what it shows: test_view's legend rows).
        const QImage plain = render(xyzm, {"--color", "viridis"});
        QCOMPARE(plain.size(), QSize(800, 600));
        QVERIFY(render(xyzm, {"--color", "viridis", "--legend"}) != plain);

        // An object beside the optical axis is drawn whole: clear of the image border, filling much
        // of the image.
        const QImage offImage = render(off, {"--size", "400x300"});
        QImage empty(offImage.size(), offImage.format());
        empty.fill(kBackground);
        const QRect drawn = differing(offImage, empty);
        QCOMPARE(drawn & QRect(1, 1, 398, 298), drawn);
        QVERIFY(drawn.width() > 200 || drawn.height() > 150);

        // A thumbnail shows the surface as on the dark background, not faded into the clear one (its
        // size and clear background: the installed thumbnailer's rows).
        QCOMPARE(render(pt, {"--size", "240", "--light", "0", "--transparent"}).pixelColor(120, 120), kSolid);

        // Without any display there is no OpenGL: say so, and how to run it on such a machine.
        const Run unseen = pelnor({"render", pt, path("never.png")}, headless());
        QVERIFY2(unseen.status == 1 && unseen.err.contains("xvfb-run"), qPrintable(unseen.err));
        QVERIFY(!QFile::exists(path("never.png")));
    }

    // Saving over a writable file in a folder that refuses new files writes it in place.
    void savingIntoALockedFolder_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("pt") << "pt";
        QTest::newRow("xyzm") << "xyzm";
    }
    void savingIntoALockedFolder() {
        QFETCH(QString, ending);
        QTemporaryDir here;
        // Everyone may look in; only the owner may write, and in the locked folder not even the owner.
        const auto seen = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(here.path(), seen | QFile::WriteOwner);
        const QString in = here.filePath("in.pt"), open = here.filePath("open." + ending);
        const QString locked = here.filePath("locked/out." + ending);
        QVERIFY(QFile::copy(pt, in) && QDir(here.path()).mkdir("locked"));
        QCOMPARE(pelnor({"convert", in, open}).status, 0);
        writeAll(locked, "an older scan");
        QFile::setPermissions(locked, seen | QFile::WriteOwner | QFile::WriteOther);
        QFile::setPermissions(here.filePath("locked"), seen);
        // The superuser may create files anywhere: run the tool as nobody there.
        QStringList command = {PELNOR_BIN, "convert", in, locked};
        if (geteuid() == 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        if (run(command.at(0), command.mid(1, command.size() - 4) + QStringList{"--version"}).status != 0)
            QSKIP("the tool cannot run as an unprivileged user here");
        const Run saved = run(command.at(0), command.mid(1));
        QFile::setPermissions(here.filePath("locked"), seen | QFile::WriteOwner); // for the clean-up
        QVERIFY2(saved.status == 0, qPrintable(saved.err));
        QCOMPARE(readAll(locked).mid(ending == "pt" ? 20 : 0), readAll(open).mid(ending == "pt" ? 20 : 0));
    }

#ifndef PELNOR_SANITIZED
    // A header that passes every check but asks for more memory than there is.
    void frameTooLargeForMemory() {
        PtHeader header;
        header.width = header.height = 16000;
        const QString huge = path("huge.pt");
        writeAll(huge, ptHeaderBytes(header));
        QVERIFY(QFile::resize(huge, header.fileSize())); // sparse: no disk is spent
        const Run r =
            run("sh", {"-c", QString("ulimit -v 1500000; exec '%1' info '%2'").arg(PELNOR_BIN, huge)});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("not enough memory for a 16000 x 16000 frame"), qPrintable(r.err));
    }
#endif
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
