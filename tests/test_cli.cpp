// The command-line tool, run as a user runs it, and the video writer its renders of a sequence use.
#include "broken_files.h"
#include "data/pt_file.h"
#include "data/ptv_reader.h"
#include "data/xyzm_file.h"
#include "run_program.h"
#include "sample/sample_files.h"
#include "sequence_frames.h"
#include "test_support.h"
#include "video/video_writer.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

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

// The points of a PLY file, sorted; none where a face names a vertex it does not hold.
std::vector<std::array<float, 3>> pointsIn(const QString &path) {
    const QByteArray file = readAll(path);
    const int count = plyCount(file, "vertex"), faces = plyCount(file, "face");
    const char *body = file.constData() + file.indexOf("end_header\n") + 11;
    std::vector<std::array<float, 3>> points(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        std::memcpy(points[size_t(k)].data(), body + 27 * k, 12);
    for (int f = 0; f < faces * 3; ++f) {
        int32_t index = -1;
        std::memcpy(&index, body + 27 * count + 13 * (f / 3) + 1 + 4 * (f % 3), 4);
        if (index < 0 || index >= count)
            return {};
    }
    std::sort(points.begin(), points.end());
    return points;
}

// A machine without any display or session, as under cron or in a thumbnailer's sandbox.
QProcessEnvironment headless() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        environment.remove(name);
    return environment;
}

const QColor kBackground(20, 20, 20), kSolid(255, 220, 165);

// A video as FFmpeg's own demuxer and decoder see it: its stream, such as "h264 yuv420p 96x64 at 15",
// and every picture turned back into RGB with the colours the stream declares, so a wrong tag shows.
QString decodeVideo(const QString &path, std::vector<QImage> *frames) {
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return {};
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodecParameters *stream = format->streams[index]->codecpar;
    const QString description =
        QString("%1 %2 %3x%4 at %5")
            .arg(avcodec_get_name(stream->codec_id), av_get_pix_fmt_name(AVPixelFormat(stream->format)))
            .arg(stream->width)
            .arg(stream->height)
            .arg(av_q2d(format->streams[index]->avg_frame_rate));
    AVCodecContext *codec = avcodec_alloc_context3(avcodec_find_decoder(stream->codec_id));
    avcodec_parameters_to_context(codec, stream);
    avcodec_open2(codec, codec->codec, nullptr);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    for (bool more = true; more;) {
        more = av_read_frame(format, packet) >= 0;
        if (!more || packet->stream_index == index)
            avcodec_send_packet(codec, more ? packet : nullptr); // none: drain the decoder
        av_packet_unref(packet);
        while (avcodec_receive_frame(codec, frame) >= 0) {
            QImage image(frame->width, frame->height, QImage::Format_RGB32);
            SwsContext *sws =
                sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                               frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
            const int *coefficients = sws_getCoefficients(frame->colorspace);
            sws_setColorspaceDetails(sws, coefficients, frame->color_range == AVCOL_RANGE_JPEG, coefficients,
                                     1, 0, 1 << 16, 1 << 16);
            uint8_t *planes[1] = {image.bits()};
            const int strides[1] = {static_cast<int>(image.bytesPerLine())};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
            sws_freeContext(sws);
            frames->push_back(image);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return description;
}

// Mean absolute difference per channel of two pictures of the same size.
double meanDifference(const QImage &a, const QImage &b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0.0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < 3 * x.width(); ++i)
            sum += std::abs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
    return sum / (3.0 * x.width() * x.height());
}

} // namespace

// The tool's tests read the same captures, made once by its virtual scanner.
class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString pt, xyzm, ptv, off; // a capture, the surface it shows, a sequence and a shape off the axis
    QString approach;           // a disc coming nearer by 2 units a frame in front of a wall
    ScanFrameStore truth;

    QString path(const QString &name) const { return dir.filePath(name); }

    // Renders into a new image of the ending; a null image when the tool failed or said anything
    // (the toolkit would, were it handed the tool's options).
    QImage render(const QString &in, const QStringList &options, const QString &ending = "png") {
        static int count = 0;
        const QString out = path(QString("render%1.%2").arg(++count).arg(ending));
        const Run r = pelnor(QStringList{"render", in, out} + options, headless());
        if (r.status == 0 && r.err.isEmpty())
            return QImage(out);
        qWarning("render %s: %s", qPrintable(options.join(' ')), qPrintable(r.err));
        return {};
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        pt = path("scan.pt"), xyzm = path("scan.xyzm"), ptv = path("walk.ptv"), off = path("off.pt");
        approach = path("approach.ptv");
        for (const QStringList &sample :
             {QStringList{pt, "--size", "160x120"},
              {xyzm, "--size", "160x120"},
              {ptv, "--size", "64x48", "--frames", "6", "--rate", "15"},
              {off, "--size", "320x240", "--scene", "off-centre"},
              {approach, "--size", "96x72", "--frames", "4", "--rate", "15", "--scene", "approach"}})
            QCOMPARE(pelnor(QStringList{"sample"} + sample).status, 0);
        QString error;
        QVERIFY2(loadXYZMFile(truth, xyzm, &error, nullptr), qPrintable(error));
        writeAll(path("broken.pt"), QByteArray(500, '\1'));
        writeAll(path("broken.xyzm"), "image size width x height = 4 x 4 and then nothing");
        for (const BrokenFile &file : brokenFiles()) // a colour capture, a sequence short of its frames
            if (file.name == "threebytes.pt" || file.name == "beyond.ptv")
                writeAll(path(file.name), file.bytes);
        writeAll(path("untimed.pt"), readAll(pt).replace(4, 16, QByteArray(16, '\0'))); // no capture time
        // Views and sessions as the viewer writes them, and as they go wrong.
        const QByteArray view = R"({"schema": "pelnor-view", "version": 1, "turn": [0, 0, 0], "pan": [0, 0],
                                    "zoom": -4000, "mirrored": false})";
        writeAll(path("far.view.json"), view);
        writeAll(path("notjson.json"), "turn: 10");
        writeAll(path("turned.json"), QByteArray(view).replace("[0, 0, 0]", "[0, 400, 0]"));
        writeAll(path("far-off.json"), QByteArray(view).replace("-4000", "-4e9"));
        writeAll(path("session.json"), R"({"schema": "pelnor-session", "version": 1,
                                           "views": {"3": {"turn": [0, 0], "pan": [0, 0], "zoom": 0}}})");
        writeAll(path("flatbox.json"),
                 R"({"schema": "pelnor-session", "version": 1, "region": {"centre": [0, 0, 0],
                                           "size": [1, 0, 1], "angles": [0, 0, 0], "keep": "inside"}})");
        writeAll(path("newer.json"), R"({"schema": "pelnor-session", "version": 7})");
        writeAll(path("halfpin.json"), R"({"schema": "pelnor-session", "version": 1,
                                           "pins": {"pixels": [[3, 4], [5]]}})");
        writeAll(path("scaled.json"), R"({"schema": "pelnor-session", "version": 1,
                                          "colours": {"scale": "sideways", "near": 1, "far": 2}})");
        PtvHeader header; // rates beyond what a video can play
        header.width = header.height = 2, header.frameCount = 1;
        for (float rate : {1e-6f, 1e9f}) {
            header.frameRate = rate;
            writeAll(path(QString("rate%1.ptv").arg(double(rate))), ptvFile(header, 1));
        }
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

        // Without its depth jumps: fewer faces, and of the points those a face keeps and those that had
        // no face in the whole mesh either (both lists are in pixel order, so the whole one names them).
        QCOMPARE(pelnor({"convert", pt, path("cut.ply"), "--hide-jumps"}).status, 0);
        const QByteArray cut = readAll(path("cut.ply"));
        const char *c = cut.constData() + cut.indexOf("end_header\n") + 11;
        const int cutPoints = plyCount(cut, "vertex"), cutFaces = plyCount(cut, "face");
        std::vector<char> hadFace(size_t(valid), 0), keepsFace(size_t(cutPoints), 0);
        auto markFaces = [](const char *faceList, int count, std::vector<char> &marks) {
            for (int f = 0; f < count; ++f)
                for (int k = 0; k < 3; ++k) {
                    int32_t index;
                    std::memcpy(&index, faceList + 13 * f + 1 + 4 * k, 4);
                    marks[size_t(index)] = 1;
                }
        };
        markFaces(v + 27 * valid, faces, hadFace);
        markFaces(c + 27 * cutPoints, cutFaces, keepsFace);
        int j = 0;
        for (int i = 0; i < valid; ++i) {
            const bool kept = j < cutPoints && std::memcmp(v + 27 * i, c + 27 * j, 27) == 0;
            QVERIFY(kept ? keepsFace[size_t(j++)] || !hadFace[size_t(i)] : hadFace[size_t(i)]);
        }
        QVERIFY(j == cutPoints && cutPoints < valid && cutFaces < faces);

        // And back: PT to PT keeps the phase bit for bit.
        QCOMPARE(pelnor({"convert", pt, path("copy.pt")}).status, 0);
        QCOMPARE(readAll(path("copy.pt")).mid(449), readAll(pt).mid(449));
    }

    // What the tool answers, with no display to be had: facts on stdout; misuse with status 2, one
    // line and where the command's help is; a file it cannot read or write, or the viewer given no
    // display, with status 1 and one
    // line. A failure writes nothing.
    void answers_data() {
        QTest::addColumn<QStringList>("arguments"); // @/ is the folder of the captures
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("said");
        const auto row = [](const char *name, const QStringList &arguments, int status,
                            const QStringList &said = {}) {
            QTest::newRow(name) << arguments << status << said;
        };
        row("sequence frame facts", {"info", "@/walk.ptv", "--frame", "4"}, 0,
            {"Frame size: 3072\n", "Frame: 4 / 6\nFormat: PTV\n", "Frame rate: 15\n", "Frame count: 6\n"});
        row("sequence short of frames", {"info", "@/beyond.ptv"}, 0,
            {"Frames found: 3 (", "Frame count: 9\n"});
        row("coordinates", {"info", "@/scan.xyzm"}, 0, {"Format: XYZM\n", "Frame width: 160\n"});
        row("colour capture", {"info", "@/threebytes.pt"}, 0, {"Texture: three bytes per pixel\n"});
        row("capture without a time", {"info", "@/untimed.pt"}, 0, {"Capture time: \nTexture: "});
        row("help", {"--help"}, 0, {"convert"});
        row("command help", {"info", "--help"}, 0, {"Usage: pelnor info [options] FILE\n", "--pixel"});
        row("version", {"--version"}, 0, {"pelnor " PELNOR_VERSION "\n"});
        row("viewer help", {"@viewer", "--help"}, 0,
            {"Usage: pelnor-viewer [OPTIONS] [FILE]\n", "-platform"});
        row("viewer version", {"@viewer", "-platform", "offscreen", "-v"}, 0,
            {"pelnor-viewer " PELNOR_VERSION "\n"});
        row("viewer unknown option", {"@viewer", "--bogus", "@/scan.pt"}, 2, {"'--bogus'"});
        row("viewer without a display", {"@viewer", "@/scan.pt"}, 1, {"DISPLAY is not set", "xvfb-run -a"});
        row("viewer on a display not there", {"@viewer", "-display", ":987", "@/scan.pt"}, 1,
            {"display :987", "pelnor render"});
        row("no command", {}, 2);
        row("unknown command", {"frobnicate"}, 2, {"'frobnicate'"});
        row("no file", {"info"}, 2, {"missing FILE"});
        row("unknown option", {"info", "--bogus", "@/scan.xyzm"}, 2);
        row("render unknown option", {"render", "@/scan.pt", "@/never.png", "--bogus"}, 2, {"'bogus'"});
        row("one argument too many", {"render", "@/scan.pt", "@/never.png", "@/scan.xyzm"}, 2,
            {"'@/scan.xyzm'"});
        row("jumps factor a word", {"render", "@/scan.pt", "@/never.png", "--hide-jumps", "abc"}, 2,
            {"--hide-jumps takes", "'abc'"});
        row("lighting a word", {"render", "@/scan.pt", "@/never.png", "--edl", "abc"}, 2,
            {"--edl takes", "'abc'"});
        row("lighting too strong", {"render", "@/scan.pt", "@/never.png", "--edl", "5.5"}, 2,
            {"--edl takes"});
        row("points of no size", {"render", "@/scan.pt", "@/never.png", "--point-size", "0"}, 2);
        row("frame not a number", {"info", "@/walk.ptv", "--frame", "x"}, 2);
        row("pixel outside", {"info", "@/scan.pt", "--pixel", "160,0"}, 2, {"outside the 160 x 120 frame"});
        row("pixel not a pair", {"info", "@/scan.pt", "--pixel", "3;4"}, 2);
        row("empty size", {"sample", "@/never.pt", "--size", "0x5"}, 2);
        row("size not a size", {"sample", "@/never.pt", "--size", "big"}, 2);
        row("size the readers refuse", {"sample", "@/never.pt", "--size", "99999x99999"}, 2, {"too large"});
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
        row("render time limit", {"render", "@/scan.pt", "@/never.png", "--time-limit", "soon"}, 2);
        row("render turn", {"render", "@/scan.pt", "@/never.png", "--turn", "60"}, 2);
        row("jumps of no mesh", {"convert", "@/scan.pt", "@/never.xyzm", "--hide-jumps"}, 2);
        row("jumps factor", {"convert", "@/scan.pt", "@/never.ply", "--hide-jumps", "-1"}, 2);
        row("depth range backwards", {"render", "@/scan.pt", "@/never.png", "--depth-range", "900,500"}, 2);
        row("depth range of one", {"render", "@/scan.pt", "@/never.png", "--depth-range", "500"}, 2);
        row("picture beyond the driver", {"render", "@/scan.pt", "@/never.png", "--size", "99999x10"}, 1,
            {"99999 x 10 pixels", "draws at most"});
        row("numbered video", {"render", "@/walk.ptv", "@/never_%d.mp4"}, 2);
        row("odd video size", {"render", "@/walk.ptv", "@/never.mp4", "--size", "95x72"}, 2);
        row("video too slow", {"render", "@/rate1e-06.ptv", "@/never.mp4"}, 1,
            {": a video cannot play 1e-06 "});
        row("video too fast", {"render", "@/rate1e+09.ptv", "@/never.mp4"}, 1,
            {"play 1e+09 frames per second"});
        row("frame beyond", {"info", "@/walk.ptv", "--frame", "6"}, 1, {"@/walk.ptv: ", "frames 0 to 5"});
        row("frame beyond a cut", {"info", "@/beyond.ptv", "--frame", "5"}, 1,
            {"frames 0 to 2 (the file holds 3 of"});
        row("range beyond", {"convert", "@/walk.ptv", "@/never_%d.pt", "--frames", "4-9"}, 1,
            {"frames 0 to 5"});
        row("frame of one", {"convert", "@/scan.pt", "@/never.ply", "--frame", "1"}, 1, {"one frame, 0"});
        row("one file, no folder", {"convert", "@/scan.pt", "@/never/scan.ply"}, 1,
            {"the folder @/never does not exist"});
        row("unknown input", {"info", "@/scan.txt"}, 1, {"@/scan.txt: "});
        row("info, missing", {"info", "@/missing.pt"}, 1, {"@/missing.pt: "});
        row("convert, broken", {"convert", "@/broken.pt", "@/never.ply"}, 1, {"@/broken.pt: "});
        row("info, text cut short", {"info", "@/broken.xyzm"}, 1, {"expected"});
        row("convert, no phase", {"convert", "@/scan.xyzm", "@/never.pt"}, 1, {"no phase"});
        row("noise of a video", {"info", "@/walk.ptv", "--noise"}, 0,
            {"\nTemporal noise: ", " over frames 0 to 5)\nFrame: 0 / 6\n"});
        row("series of a video cut short", {"series", "@/beyond.ptv", "--pixel", "1,1"}, 0,
            {"frame,time,depth(1,1)\n0,0.000000,", "\n2,"});
        row("series without a pixel", {"series", "@/walk.ptv"}, 2, {"--pixel U,V is needed"});
        row("series pixel outside", {"series", "@/walk.ptv", "--pixel", "3,48"}, 2,
            {"outside the 64 x 48 frame"});
        row("series even window", {"series", "@/walk.ptv", "--pixel", "3,4", "--window", "4"}, 2,
            {"odd number"});
        row("series range backwards", {"series", "@/walk.ptv", "--pixel", "3,4", "--frames", "3-1"}, 2);
        row("series range beyond", {"series", "@/walk.ptv", "--pixel", "3,4", "--frames", "4-6"}, 1,
            {"frames 0 to 5"});
        row("series into no folder", {"series", "@/walk.ptv", "--pixel", "3,4", "-o", "@/never/s.csv"}, 1,
            {"the folder @/never does not exist"});
        row("noise of one frame", {"info", "@/scan.pt", "--noise"}, 2, {"needs a 3D video"});
        row("change of one frame", {"render", "@/scan.pt", "@/never.png", "--color", "change"}, 2,
            {"--color change needs a 3D video"});
        row("noise render of one frame", {"render", "@/scan.xyzm", "@/never.png", "--color", "noise"}, 2,
            {"needs a 3D video"});
        row("reference past the end",
            {"render", "@/walk.ptv", "@/never.png", "--color", "change", "--reference", "6"}, 2,
            {"--reference 6 lies past the end", "frames 0 to 5"});
        row("mean past the end",
            {"render", "@/walk.ptv", "@/never.png", "--color", "change", "--reference", "mean:7"}, 2,
            {"--reference mean:7 lies past"});
        row("reference not a frame", {"render", "@/walk.ptv", "@/never.png", "--reference", "first"}, 2,
            {"--reference takes previous"});
        row("change range of none", {"render", "@/walk.ptv", "@/never.png", "--change-range", "0"}, 2);
        row("render, missing", {"render", "@/missing.pt", "@/never.png"}, 1, {"@/missing.pt: "});
        row("view not JSON", {"render", "@/scan.pt", "@/never.png", "--view", "@/notjson.json"}, 1,
            {"@/notjson.json: not JSON"});
        row("view turned too far", {"render", "@/scan.pt", "@/never.png", "--view", "@/turned.json"}, 1,
            {"@/turned.json: 'turn': "});
        row("view zoomed out of range", {"render", "@/scan.pt", "@/never.png", "--view", "@/far-off.json"}, 1,
            {"'zoom': "});
        row("session as a view", {"render", "@/scan.pt", "@/never.png", "--view", "@/session.json"}, 1,
            {"'schema': \"pelnor-session\" is not \"pelnor-view\""});
        row("session view of two angles",
            {"render", "@/scan.pt", "@/never.png", "--session", "@/session.json"}, 1,
            {"@/session.json: 'views.3.turn': "});
        row("session of no scale", {"render", "@/scan.pt", "@/never.png", "--session", "@/scaled.json"}, 1,
            {"'colours.scale': "});
        row("session region of no volume",
            {"convert", "@/scan.pt", "@/never.ply", "--session", "@/flatbox.json"}, 1, {"'region.size': "});
        row("session pin of one number",
            {"render", "@/walk.ptv", "@/never.png", "--session", "@/halfpin.json"}, 1, {"'pins.pixels.1': "});
        row("session newer", {"convert", "@/scan.pt", "@/never.ply", "--session", "@/newer.json"}, 1,
            {"'version': 7 is newer"});
        row("session missing", {"convert", "@/scan.pt", "@/never.ply", "--session", "@/missing.json"}, 1,
            {"@/missing.json: "});
        row("turn and view",
            {"render", "@/scan.pt", "@/never.png", "--turn", "0,9", "--view", "@/far.view.json"}, 2,
            {"--turn and --view"});
        row("render, broken", {"render", "@/broken.pt", "@/never.png"}, 1, {"@/broken.pt: "});
        row("region of five numbers", {"info", "@/scan.pt", "--region", "0,0,500,9,9"}, 2,
            {"two opposite corners"});
        row("region not a number", {"convert", "@/scan.pt", "@/never.ply", "--region", "0,0,nan,9,9,900"}, 2,
            {"--region: every number of a region must be finite"});
        row("one scale for a video, of a region empty in every frame",
            {"render", "@/walk.ptv", "@/never.png", "--depth-range", "sequence", "--region", "0,0,0,9,9,9"},
            1, {"the region keeps no point of any frame"});
        row("region of no volume",
            {"convert", "@/scan.pt", "@/never.xyzm", "--region-outside", "0,0,5,9,9,5"}, 2,
            {"--region-outside: the box has no volume"});
        row("region beyond all", {"render", "@/scan.pt", "@/never.png", "--region", "0,0,0,9,9,inf"}, 2,
            {"must be finite"});
        row("two regions",
            {"render", "@/scan.pt", "@/never.png", "--region", "0,0,0,9,9,9", "--region-outside",
             "0,0,0,9,9,9"},
            2, {"exclude each other"});
    }
    void answers() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, said);
        arguments.replaceInStrings("@/", dir.path() + "/");
        const Run answer = arguments.value(0) == "@viewer"
                               ? run(PELNOR_VIEWER_BIN, arguments.mid(1), headless())
                               : pelnor(arguments, headless());
        QCOMPARE(answer.status, status);
        const QString text = status == 0 ? answer.out : answer.err;
        for (QString s : said)
            QVERIFY2(text.contains(s.replace("@/", dir.path() + "/")), qPrintable(text));
        // The tool's help for the command, or the viewer's usage.
        const QString command = arguments.value(0),
                      help =
                          command == "@viewer" ? "\n\nUsage: pelnor-viewer"
                          : QStringList({"info", "convert", "sample", "render", "series"}).contains(command)
                              ? QString("\nRun 'pelnor %1 --help' for").arg(command)
                              : "\nRun 'pelnor --help' for";
        if (status == 2)
            QVERIFY2(answer.out.isEmpty() && answer.err.contains(help) &&
                         (command == "@viewer" || answer.err.count('\n') == 2),
                     qPrintable(answer.err));
        if (status == 1)
            QVERIFY2(
                answer.err.startsWith(arguments.value(0) == "@viewer" ? "pelnor-viewer: " : "pelnor: /") &&
                    answer.err.count('\n') == 1,
                qPrintable(answer.err));
        QCOMPARE(QDir(dir.path()).entryList({"never*"}), QStringList());
    }

    // The tool's help names every option each command's own help lists, in that command's lines.
    void helpNamesEveryOption() {
        const QString help = pelnor({"--help"}).out;
        for (const QString command : {"info", "convert", "sample", "render", "series"}) {
            const QString lines = QRegularExpression("\n  " + command + " (.*?)(\n  \\S|\n\n)",
                                                     QRegularExpression::DotMatchesEverythingOption)
                                      .match(help)
                                      .captured(1);
            QStringList missing;
            int listed = 0;
            auto option = QRegularExpression("\n  (--[a-z-]+)").globalMatch(pelnor({command, "--help"}).out);
            for (; option.hasNext(); ++listed) {
                const QString name = option.next().captured(1);
                if (!name.startsWith("--help") && !lines.contains(QRegularExpression(name + "(?![a-z-])")))
                    missing << name;
            }
            QVERIFY2(listed >= 2 && missing.isEmpty(), qPrintable(command + ": " + missing.join(' ')));
        }
    }

    // The series of the disc's centre is its ramp, nearer by 2 units a frame, and of a pixel never
    // measured empty, the same on standard output as in a file; the change drawn colours the disc
    // with the full colour of "nearer" and the wall with the neutral colour.
    void changeOverTime() {
        const VirtualScanner scanner(96, 72, VirtualScanner::Approach);
        const SyntheticCapture first = scanner.capture(0.0);
        QPoint centre;
        int pixels = 0;
        for (int i = 0; i < 96 * 72; ++i)
            if (first.surface[size_t(i)] == 1)
                centre += QPoint(i % 96, i / 96), ++pixels;
        centre /= pixels;
        const QString pixel = QString("%1,%2").arg(centre.x()).arg(centre.y());
        const QStringList series = {"series", approach, "--pixel", pixel, "--pixel", "48,71"};
        const Run out = pelnor(series), file = pelnor(series + QStringList{"-o", path("series.csv")});
        QVERIFY(out.status == 0 && file.status == 0 && out.err.isEmpty());
        QCOMPARE(readAll(path("series.csv")), out.out.toUtf8());
        const QStringList lines = out.out.split('\n');
        QCOMPARE(lines.value(0), QString("frame,time,depth(%1),depth(48,71)").arg(pixel));
        QCOMPARE(lines.size(), 6); // the header, four frames and the end of the last line
        const float start = lines[1].section(',', 2, 2).toFloat();
        for (int k = 0; k < 4; ++k) {
            const QStringList cells = lines[k + 1].split(',');
            QVERIFY2(cells.size() == 4 && cells[0].toInt() == k &&
                         std::fabs(cells[1].toDouble() - k / 15.0) < 1e-6 &&
                         std::fabs(cells[2].toFloat() - (start - 2.0f * k)) < 0.1f && cells[3].isEmpty(),
                     qPrintable(lines[k + 1]));
        }
        QVERIFY(std::fabs(start - first.xyz[size_t(3 * (centre.y() * 96 + centre.x()) + 2)]) < 0.1f);

        const QImage change =
            render(approach, {"--frame", "2", "--color", "change", "--change-range", "1", "--light", "0"})
                .convertToFormat(QImage::Format_RGB32);
        QVERIFY(!change.isNull());
        std::map<QRgb, int> counts;
        for (int y = 0; y < change.height(); ++y)
            for (int x = 0; x < change.width(); ++x)
                ++counts[change.pixel(x, y)];
        const int nearer = counts[qRgb(16, 64, 156)], farther = counts[qRgb(164, 16, 32)];
        QVERIFY2(nearer > 5000 && farther * 50 < nearer && counts[qRgb(236, 236, 236)] > 2 * nearer,
                 qPrintable(QString("%1 nearer, %2 farther").arg(nearer).arg(farther)));
    }

    // One file per frame, named by the frame's index, each the same as a conversion of that frame
    // alone; a sequence cut short gives the frames it holds and says once that more were promised, a
    // range past them is refused before any file is written, and a frame that cannot be written stops
    // the export with the files before it whole.
    // Progress is one line rewritten in place on a terminal, and nothing at all for a pipe or a log.
    void sequenceExports_data() {
        QTest::addColumn<QString>("pattern"); // its files are named as printf would name them
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("fault"); // cut: frame 2 is half there; taken: a folder has its name
        QTest::addColumn<bool>("terminal");
        const auto row = [](const char *tag, const char *pattern, const QStringList &range, int first,
                            int last, const char *fault, bool terminal) {
            QTest::newRow(tag) << QString(pattern) << range << first << last << QString(fault) << terminal;
        };
        row("ply, every frame, terminal", "walk_%04d.ply", {}, 0, 5, "", true);
        row("xyzm, a range", "w%d.xyzm", {"--frames", "1-2"}, 1, 2, "", false);
        row("pt, one frame", "%%w_%02d.pt", {"--frames", "3"}, 3, 3, "", false);
        row("ply, cut short", "walk_%04d.ply", {}, 0, 1, "cut", false);
        row("pt, cut short in range", "w%d.pt", {"--frames", "1-3"}, 1, 0, "cut", false);
        row("xyzm, a name taken", "w%d.xyzm", {}, 0, 1, "taken", false);
    }
    void sequenceExports() {
        QFETCH(QString, pattern);
        QFETCH(QStringList, range);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, fault);
        QFETCH(bool, terminal);
        QTemporaryDir here;
        // The numbered files go into new folders, which the tool makes.
        const QString in = here.filePath("walk.ptv"), out = here.filePath("out/new/" + pattern);
        // On a terminal (script gives the tool one) the sample shows the exports' progress line.
        if (terminal) {
            const QString sample = QString("'%1' sample '%2' --size 64x48 --frames 6").arg(PELNOR_BIN, in);
            const Run made = run("script", {"-qec", sample, "/dev/null"});
            QVERIFY2(made.out.contains("\rframe 5  6/6  100%"), qPrintable(made.out));
        } else {
            QVERIFY(QFile::copy(ptv, in));
        }
        if (fault == "cut")
            QVERIFY(QFile::resize(in, 457 + 2 * 5 * 64 * 48 + 100));
        if (fault == "taken")
            QVERIFY(QDir(here.filePath("out/new")).mkpath(QString::asprintf(qPrintable(pattern), 2)));
        const QString command = QString("'%1' convert '%2' '%3'").arg(PELNOR_BIN, in, out);
        const Run exported = terminal ? run("script", {"-qec", command, "/dev/null"})
                                      : pelnor(QStringList{"convert", in, out} + range);
        const bool refused = fault == "cut" && !range.isEmpty();
        QCOMPARE(exported.status, refused || fault == "taken" ? 1 : 0);
        const QString shown = exported.out + exported.err;
        if (terminal) {
            QCOMPARE(shown.count("\rframe "), 6);
            QCOMPARE(shown.count('\n'), 1); // the line ends once, when the export does
            QVERIFY2(shown.contains(
                         QRegularExpression("\rframe 2  3/6  50%  [0-9.]+ frames/s  0:[0-9]{2} left")) &&
                         shown.contains("6/6  100%"),
                     qPrintable(shown));
        } else {
            const char *said = fault == "taken" ? "; frames 0 to 1 are written"
                               : refused        ? "which holds frames 0 to 1 ("
                                                : "holds 2 of the 6 frames";
            QVERIFY2(fault.isEmpty() ? shown.isEmpty() : shown.contains(said) && shown.count('\n') == 1,
                     qPrintable(shown));
        }

        QStringList expected;
        for (int k = first; k <= last; ++k) {
            expected << QString::asprintf(qPrintable(pattern), k);
            const QString one = here.filePath("one." + QFileInfo(pattern).suffix());
            QCOMPARE(pelnor({"convert", in, one, "--frame", QString::number(k)}).status, 0);
            QByteArray single = readAll(one), numbered = readAll(here.filePath("out/new/" + expected.last()));
            if (pattern.endsWith(".pt")) { // the capture time says when the file was written
                single.remove(4, 16), numbered.remove(4, 16);
                // A frame saved as PT carries the phase playback showed for it.
                QCOMPARE(single.mid(449 - 16, 4 * 3072), decodedPtvFrame(in, k).left(4 * 3072));
            }
            QVERIFY2(!numbered.isEmpty() && numbered == single, qPrintable(expected.last()));
        }
        // Nothing else: no frame beyond the range or the cut, no temporary left behind.
        QCOMPARE(QDir(here.filePath("out/new")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
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
        // Eye-dome lighting: asked for (a bare --edl, its strength left out), or the points' own
        // unless turned off.
        QVERIFY(render(pt, {"--edl", "--size", "320x240", "--light", "0"}) != solid);
        QCOMPARE(render(pt, {"--size", "320x240", "--light", "0", "--edl", "0"}), solid);
        QVERIFY(render(pt, {"--size", "320x240", "--light", "0", "--style", "points", "--edl", "0"}) !=
                points);
        QCOMPARE(render(pt, {"--size", "320x240"}, "jpg").size(), QSize(320, 240));
        QCOMPARE(render(pt, {"--size", "320x240", "--light", "0", "--turn", "0,0"}), solid);

        // --legend draws the view's legend, which only a colouring by depth has (where it goes and
        // what it shows: test_view's legend rows).
        const QImage plain = render(xyzm, {"--color", "viridis"});
        const QImage legend = render(xyzm, {"--color", "viridis", "--legend"});
        QCOMPARE(plain.size(), QSize(800, 600));
        QVERIFY(!legend.isNull() && legend != plain);

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

        // A render that cannot finish in time stops with a message: here its input never arrives.
        const QString fifo = path("never.pt");
        QCOMPARE(run("mkfifo", {fifo}).status, 0);
        const Run stuck = pelnor({"render", fifo, path("never.png"), "--time-limit", "1"}, headless());
        QVERIFY2(stuck.status == 1 && stuck.err.contains("time limit of 1 s"), qPrintable(stuck.err));
        QFile::remove(fifo);
    }

    // --depth-range sequence draws every frame of a 3D video on one scale: frames 0 and 20, drawn
    // alone, carry the same legend, where fitted to each frame they do not (the scene moves). The
    // camera stands far back (--view), so the legend lies over the background alone.
    void sequenceOnOneScale() {
        const QString walk = path("long.ptv");
        QCOMPARE(pelnor({"sample", walk, "--size", "64x48", "--frames", "24"}).status, 0);
        const QRect corner(160, 0, 160, 180);
        auto legend = [&](const char *frame, const char *range) {
            const QImage image =
                render(walk, {"--frame", frame, "--depth-range", range, "--size", "320x240", "--color", "jet",
                              "--legend", "--view", path("far.view.json")});
            return image.copy(corner);
        };
        const QImage first = legend("0", "sequence"), later = legend("20", "sequence");
        QVERIFY(!first.isNull() && first == later);
        QVERIFY(legend("0", "fit") != legend("20", "fit"));
        QVERIFY(first != legend("0", "fit"));
        // A session's whole-video scale is the same scale.
        writeAll(path("whole.json"), R"({"schema": "pelnor-session", "version": 1,
                                         "colours": {"scale": "sequence", "near": 0, "far": 1}})");
        QCOMPARE(render(walk, {"--frame", "20", "--session", path("whole.json"), "--size", "320x240",
                               "--color", "jet", "--legend", "--view", path("far.view.json")})
                     .copy(corner),
                 first);
    }

    // A region cuts a PLY down to the points in its box and the triangles between them, the outside to
    // the others: the two hold the whole frame's points between them, each once; every frame of a
    // sequence alike; a viewer's session cuts to its region. (An .xyzm cut: the Python module's
    // region test.)
    void regionCutsExports_data() {
        QTest::addColumn<QString>("in");
        QTest::newRow("raw capture") << "scan.pt";
        QTest::newRow("finished capture") << "scan.xyzm";
        QTest::newRow("sequence, a file a frame") << "walk.ptv";
    }
    void regionCutsExports() {
        QFETCH(QString, in);
        const bool numbered = in.endsWith(".ptv");
        const QString out = numbered ? "%1_%d.ply" : "%1.ply";
        const QVector3D lo(-100, -80, 600), hi(120, 100, 720);
        const QString box = "-100,-80,600,120,100,720";
        const QStringList frames = numbered ? QStringList{"--frames", "1-2"} : QStringList();
        // The same box kept outside by a viewer's session.
        writeAll(path("box.json"),
                 R"({"schema": "pelnor-session", "version": 1, "region": {"centre": [10, 10, 660],
                                       "size": [220, 180, 120], "angles": [0, 0, 0], "keep": "outside"}})");
        for (const QStringList &cut : {QStringList{"whole"},
                                       {"inside", "--region", box},
                                       {"outside", "--region-outside", box},
                                       {"session", "--session", path("box.json")}})
            QCOMPARE(
                pelnor(QStringList{"convert", path(in), path(out.arg(cut[0]))} + frames + cut.mid(1)).status,
                0);
        for (const int frame : numbered ? QList<int>{1, 2} : QList<int>{0}) {
            const auto points = [&](const char *cut) {
                return pointsIn(path(QString(out).replace("%d", QString::number(frame)).arg(cut)));
            };
            const auto whole = points("whole"), inside = points("inside"), outside = points("outside");
            std::vector<std::array<float, 3>> both(inside);
            both.insert(both.end(), outside.begin(), outside.end());
            std::sort(both.begin(), both.end());
            QVERIFY(!inside.empty() && !outside.empty() && both == whole && points("session") == outside);
            for (const auto &p : inside)
                for (int a = 0; a < 3; ++a)
                    QVERIFY(p[size_t(a)] >= lo[a] - 1e-3f && p[size_t(a)] <= hi[a] + 1e-3f);
        }
    }

    // A region that keeps nothing of a frame leaves its file or picture empty, said, with status 1;
    // a .pt keeps the raw phase of the whole frame, as is said; a render draws the region alone.
    void regionKeepingNothingIsSaid() {
        const QString far = "-9,-9,5000,9,9,5001";
        const Run empty = pelnor({"convert", pt, path("empty.ply"), "--region", far});
        QVERIFY2(empty.status == 1 &&
                     empty.err == "pelnor: " + path("empty.ply") + ": the region keeps no point of frame 0\n",
                 qPrintable(empty.err));
        QCOMPARE(plyCount(readAll(path("empty.ply")), "vertex"), 0);
        const Run nothing =
            pelnor({"render", pt, path("nothing.png"), "--size", "64x48", "--region", far}, headless());
        QImage background(64, 48, QImage::Format_RGB32);
        background.fill(kBackground);
        QVERIFY(nothing.status == 1 && nothing.err.contains("keeps no point of frame 0") &&
                QImage(path("nothing.png")) == background);
        const Run raw = pelnor({"convert", pt, path("raw.pt"), "--region", far});
        QVERIFY(raw.status == 0 && raw.err.contains("does not apply to a .pt"));
        QCOMPARE(readAll(path("raw.pt")).mid(20), readAll(pt).mid(20));
        const QImage whole = render(pt, {"--size", "160x120"}),
                     cut = render(pt, {"--size", "160x120", "--region-outside", "-100,-80,600,120,100,720"});
        QVERIFY(!whole.isNull() && !cut.isNull() && whole != cut);
    }

    // Pictures of known colours come back from FFmpeg's decoder in number, size, rate, order and colour.
    void writerRoundTrip_data() {
        QTest::addColumn<QString>("stream"); // the codec, size and rate written and read back
        QTest::newRow("h264") << "h264 yuv420p 96x64 at 15";
        QTest::newRow("mpeg4, ntsc rate") << "mpeg4 yuv420p 64x48 at 29.97";
        QTest::newRow("h264, slow rate") << "h264 yuv420p 50x36 at 2.5";
    }
    void writerRoundTrip() {
        QFETCH(QString, stream);
        const QStringList size = stream.section(' ', 2, 2).split('x');
        const int width = size[0].toInt(), height = size[1].toInt(), frames = 5;
        QTemporaryDir here;
        const QString mp4 = here.filePath("v.mp4");
        std::vector<QImage> written;
        VideoWriter writer;
        QString error;
        QVERIFY2(writer.open(mp4, width, height, stream.section(' ', 4).toDouble(), &error,
                             stream.startsWith("h264") ? VideoWriter::H264 : VideoWriter::Mpeg4),
                 qPrintable(error));
        for (int k = 0; k < frames; ++k) {
            // Each frame its own colour, and a bar that moves, so order and channels both show.
            QImage image(width, height, QImage::Format_RGB32);
            image.fill(QColor(40 + 30 * k, 200 - 25 * k, 90 + 20 * (k % 3)));
            QPainter(&image).fillRect(2 * k, 0, 2, height, Qt::white);
            QVERIFY(writer.addFrame(image.constBits(), image.bytesPerLine(), &error));
            written.push_back(image);
        }
        QVERIFY(!QFile::exists(mp4)); // nothing takes the name before the video is whole
        QVERIFY2(writer.finish(&error), qPrintable(error));

        std::vector<QImage> decoded;
        QCOMPARE(decodeVideo(mp4, &decoded), stream);
        QCOMPARE(int(decoded.size()), frames);
        for (int k = 0; k < frames; ++k)
            QVERIFY2(meanDifference(decoded[k], written[k]) < 10.0, qPrintable(QString::number(k)));
    }

    // A range of a sequence rendered to a video shows the pictures that the image export draws, the
    // first as a single render of it draws it, at the file's rate. A sequence cut short gives the
    // frames it holds; a range past them leaves an older file of the name untouched. (Frames past the
    // range: sequenceExports.)
    void renderedSequence_data() {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("cutShort"); // the file holds frames 0 to 3 and half of 4
        QTest::newRow("a range") << QStringList{"--frames", "2-4"} << 2 << 4 << false;
        QTest::newRow("cut short") << QStringList() << 0 << 3 << true;
    }
    void renderedSequence() {
        QFETCH(QStringList, range);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, cutShort);
        QTemporaryDir here;
        const QString in = here.filePath("walk.ptv"), mp4 = here.filePath("walk.mp4");
        QCOMPARE(pelnor({"sample", in, "--size", "80x60", "--frames", "6", "--rate", "12"}).status, 0);
        writeAll(mp4, "an older video");
        const QStringList look = {"--size", "96x72", "--color", "jet"};
        if (cutShort) {
            QVERIFY(QFile::resize(in, 457 + 4 * 5 * 80 * 60 + 1000));
            const Run beyond = pelnor(QStringList{"render", in, mp4, "--frames", "2-4"} + look);
            QVERIFY2(beyond.status == 1 && beyond.err.contains("which holds frames 0 to 3 (") &&
                         beyond.err.count('\n') == 1,
                     qPrintable(beyond.err));
            QCOMPARE(QDir(here.path()).entryList(QDir::Files), QStringList({"walk.mp4", "walk.ptv"}));
            QCOMPARE(readAll(mp4), QByteArray("an older video"));
        }
        const Run made = pelnor(QStringList{"render", in, mp4} + look + range);
        QVERIFY2(made.status == 0 && made.err.count('\n') == int(cutShort) &&
                     made.err.contains(cutShort ? "holds 4 of the 6 frames" : ""),
                 qPrintable(made.err));
        // The images go into a folder the tool makes.
        const QString one = here.filePath("one.png"), frame = here.filePath("f/f_%1.png");
        QCOMPARE(pelnor(QStringList{"render", in, here.filePath("f/f_%d.png")} + look + range).status, 0);
        QCOMPARE(pelnor(QStringList{"render", in, one, "--frame", QString::number(first)} + look).status, 0);
        std::vector<QImage> video;
        QCOMPARE(decodeVideo(mp4, &video), QString("h264 yuv420p 96x72 at 12"));
        QCOMPARE(int(video.size()), last - first + 1);
        QCOMPARE(QImage(one), QImage(frame.arg(first)));
        for (int k = first; k <= last; ++k) {
            const QImage image(frame.arg(k));
            QVERIFY2(image.size() == QSize(96, 72) && meanDifference(video[k - first], image) < 4.0,
                     qPrintable(QString::number(k)));
            if (k > first) // the scene moves
                QVERIFY(meanDifference(image, QImage(frame.arg(k - 1))) > 0.2);
        }
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
    // Frames that pass every check but ask for more memory than there is, in the readers, the
    // virtual scanner and the mesh builders, alone and on an export's worker thread: the readers'
    // message, status 1, and no file or temporary left behind.
    void outOfMemory_data() {
        QTest::addColumn<QStringList>("arguments"); // @/ is a folder holding the inputs
        QTest::addColumn<int>("side");              // of the square frame that does not fit
        QTest::newRow("reading") << QStringList{"info", "@/frame.pt"} << 16000;
        QTest::newRow("sampling") << QStringList{"sample", "@/big.pt", "--size", "20000x20000"} << 20000;
        QTest::newRow("meshing") << QStringList{"convert", "@/frame.pt", "@/frame.ply"} << 4000;
        QTest::newRow("meshing on the worker") << QStringList{"convert", "@/frame.ptv", "@/f_%d.ply"} << 4000;
    }
    void outOfMemory() {
        QFETCH(QStringList, arguments);
        QFETCH(int, side);
        QTemporaryDir here;
        PtHeader pt;
        PtvHeader ptv;
        pt.width = pt.height = side;
        ptv.width = ptv.height = side, ptv.frameRate = 15.0f, ptv.frameCount = 2;
        // Sparse: no disk is spent on the frames, which measure nothing.
        for (const QString name : {"frame.pt", "frame.ptv"}) {
            const bool sequence = name.endsWith(".ptv");
            writeAll(here.filePath(name), sequence ? ptvHeaderBytes(ptv) : ptHeaderBytes(pt));
            QVERIFY(QFile::resize(here.filePath(name), sequence ? ptv.frameOffset(2) : pt.fileSize()));
        }
        const QStringList inputs = QDir(here.path()).entryList(QDir::Files | QDir::Hidden);
        arguments.replaceInStrings("@/", here.path() + "/");
        const QString limited = QString("ulimit -v 1500000; exec '%1' \"$@\"").arg(PELNOR_BIN);
        const Run r = run("sh", QStringList{"-c", limited, "sh"} + arguments);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QString("not enough memory for a %1 x %1 frame").arg(side)),
                 qPrintable(r.err));
        QCOMPARE(QDir(here.path()).entryList(QDir::Files | QDir::Hidden), inputs);
    }
#endif
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
