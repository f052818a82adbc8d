#include "test_support.h"
#include "video/video_writer.h"

#include <QImage>
#include <QProcess>
#include <QtTest>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

// A video as FFmpeg's own demuxer and decoder see it, every picture turned back into RGB.
struct DecodedVideo {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int pixelFormat = -1;
    QSize size;
    double rate = 0.0;
    std::vector<QImage> frames;
};

DecodedVideo decodeVideo(const QString &path) {
    DecodedVideo video;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return video;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVStream *stream = format->streams[index];
    video.codec = stream->codecpar->codec_id;
    video.pixelFormat = stream->codecpar->format;
    video.size = QSize(stream->codecpar->width, stream->codecpar->height);
    video.rate = av_q2d(stream->avg_frame_rate);
    AVCodecContext *codec = avcodec_alloc_context3(avcodec_find_decoder(video.codec));
    avcodec_parameters_to_context(codec, stream->codecpar);
    avcodec_open2(codec, codec->codec, nullptr);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            QImage image(frame->width, frame->height, QImage::Format_RGB32);
            SwsContext *sws =
                sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                               frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
            // The colours the stream declares, so a wrong tag shows as wrong colours.
            const int *coefficients = sws_getCoefficients(frame->colorspace);
            sws_setColorspaceDetails(sws, coefficients, frame->color_range == AVCOL_RANGE_JPEG, coefficients,
                                     1, 0, 1 << 16, 1 << 16);
            uint8_t *planes[1] = {image.bits()};
            const int strides[1] = {static_cast<int>(image.bytesPerLine())};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
            sws_freeContext(sws);
            video.frames.push_back(image);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(codec, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return video;
}

// Mean absolute difference per channel of two pictures of the same size.
double meanDifference(const QImage &a, const QImage &b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0.0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

int pelnor(const QStringList &arguments, QString *err = nullptr) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    // Where the toolkit wants one, so that its warning does not hide among the tool's messages.
    static QTemporaryDir runtime;
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    process.setProcessEnvironment(environment);
    process.start(PELNOR_BIN, arguments);
    process.waitForFinished(120000);
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TestVideo : public QObject {
    Q_OBJECT

  private slots:
    // Pictures of known colours come back from FFmpeg's decoder in number, size, rate, order and colour.
    void writerRoundTrip_data() {
        QTest::addColumn<int>("codec");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("frames");
        QTest::newRow("h264") << int(VideoWriter::H264) << QSize(96, 64) << 15.0 << 7;
        QTest::newRow("mpeg4, ntsc rate") << int(VideoWriter::Mpeg4) << QSize(64, 48) << 29.97 << 5;
        QTest::newRow("h264, slow rate") << int(VideoWriter::H264) << QSize(50, 36) << 2.5 << 3;
    }
    void writerRoundTrip() {
        QFETCH(int, codec);
        QFETCH(QSize, size);
        QFETCH(double, rate);
        QFETCH(int, frames);
        QTemporaryDir dir;
        const QString path = dir.filePath("v.mp4");
        std::vector<QImage> written;
        VideoWriter writer;
        QString error;
        QVERIFY2(writer.open(path, size.width(), size.height(), rate, &error, VideoWriter::Codec(codec)),
                 qPrintable(error));
        for (int k = 0; k < frames; ++k) {
            // Each frame its own colour, and a bar that moves, so order and channels both show.
            QImage image(size, QImage::Format_RGB32);
            image.fill(QColor(40 + 30 * k, 200 - 25 * k, 90 + 20 * (k % 3)));
            for (int y = 0; y < size.height(); ++y)
                for (int x = 2 * k; x < 2 * k + 2; ++x)
                    image.setPixel(x % size.width(), y, qRgb(255, 255, 255));
            QVERIFY(writer.addFrame(image.constBits(), image.bytesPerLine(), &error));
            written.push_back(image);
        }
        QVERIFY(!QFile::exists(path)); // nothing takes the name before the video is whole
        QVERIFY2(writer.finish(&error), qPrintable(error));

        const DecodedVideo video = decodeVideo(path);
        QCOMPARE(video.codec, codec == VideoWriter::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
        QCOMPARE(video.pixelFormat, int(AV_PIX_FMT_YUV420P));
        QCOMPARE(video.size, size);
        QVERIFY2(std::fabs(video.rate - rate) < 1e-3, qPrintable(QString::number(video.rate)));
        QCOMPARE(int(video.frames.size()), frames);
        for (int k = 0; k < frames; ++k)
            QVERIFY2(
                meanDifference(video.frames[k], written[k]) < 10.0,
                qPrintable(QString("frame %1: %2").arg(k).arg(meanDifference(video.frames[k], written[k]))));
    }

    // A sequence rendered to a video shows the pictures that the image export draws, at the
    // file's rate; a sequence cut short leaves no video and an older file of the name untouched.
    void renderedSequence_data() {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("every frame") << QStringList() << 0 << 5 << false;
        QTest::newRow("a range") << QStringList{"--frames", "2-4"} << 2 << 4 << false;
        QTest::newRow("cut short") << QStringList() << 0 << 3 << true;
    }
    void renderedSequence() {
        QFETCH(QStringList, range);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, cutShort);
        QTemporaryDir dir;
        const QString ptv = dir.filePath("walk.ptv"), mp4 = dir.filePath("walk.mp4");
        QCOMPARE(pelnor({"sample", ptv, "--size", "80x60", "--frames", "6", "--rate", "12"}), 0);
        if (cutShort) // frame 4 is half there
            QVERIFY(QFile::resize(ptv, 457 + 4 * 5 * 80 * 60 + 1000));
        writeAll(mp4, "an older video");
        const QStringList look = QStringList{"--size", "96x72", "--color", "jet"} + range;
        QString err;
        const int status = pelnor(QStringList{"render", ptv, mp4} + look, &err);
        if (cutShort) {
            QCOMPARE(status, 1);
            QVERIFY2(err.contains("frame 4 ") && err.count('\n') == 1, qPrintable(err));
            QCOMPARE(readAll(mp4), QByteArray("an older video"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
            return;
        }
        QVERIFY2(status == 0 && err.isEmpty(), qPrintable(err));
        QCOMPARE(pelnor(QStringList{"render", ptv, dir.filePath("f_%d.png")} + look), 0);
        const DecodedVideo video = decodeVideo(mp4);
        QCOMPARE(video.size, QSize(96, 72));
        QCOMPARE(video.rate, 12.0);
        QCOMPARE(int(video.frames.size()), last - first + 1);
        for (int k = first; k <= last; ++k) {
            const QImage image(dir.filePath(QString("f_%1.png").arg(k)));
            QCOMPARE(image.size(), QSize(96, 72));
            QVERIFY2(meanDifference(video.frames[k - first], image) < 4.0, qPrintable(QString::number(k)));
            if (k > first) // the scene moves
                QVERIFY(meanDifference(image, QImage(dir.filePath(QString("f_%1.png").arg(k - 1)))) > 0.2);
        }
        QVERIFY(!QFile::exists(dir.filePath(QString("f_%1.png").arg(last + 1))));
        // The first frame is drawn as a single render of it draws it.
        QCOMPARE(pelnor(QStringList{"render", ptv, dir.filePath("one.png"), "--frame", QString::number(first),
                                    "--size", "96x72", "--color", "jet"}),
                 0);
        QCOMPARE(QImage(dir.filePath("one.png")), QImage(dir.filePath(QString("f_%1.png").arg(first))));
    }
};

QTEST_GUILESS_MAIN(TestVideo)
#include "test_video.moc"
