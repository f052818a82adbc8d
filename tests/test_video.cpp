#include "run_program.h"
#include "test_support.h"
#include "video/video_writer.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

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

class TestVideo : public QObject {
    Q_OBJECT

  private slots:
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
        QTemporaryDir dir;
        const QString path = dir.filePath("v.mp4");
        std::vector<QImage> written;
        VideoWriter writer;
        QString error;
        QVERIFY2(writer.open(path, width, height, stream.section(' ', 4).toDouble(), &error,
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
        QVERIFY(!QFile::exists(path)); // nothing takes the name before the video is whole
        QVERIFY2(writer.finish(&error), qPrintable(error));

        std::vector<QImage> decoded;
        QCOMPARE(decodeVideo(path, &decoded), stream);
        QCOMPARE(int(decoded.size()), frames);
        for (int k = 0; k < frames; ++k)
            QVERIFY2(meanDifference(decoded[k], written[k]) < 10.0, qPrintable(QString::number(k)));
    }

    // A range of a sequence rendered to a video shows the pictures that the image export draws, the
    // first as a single render of it draws it, at the file's rate; a sequence cut short leaves no
    // video and an older file of the name untouched. (Frames past the range: sequenceExports.)
    void renderedSequence_data() {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last"); // the last frame shown, or the one half there
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("a range") << QStringList{"--frames", "2-4"} << 2 << 4 << false;
        QTest::newRow("cut short") << QStringList() << 0 << 4 << true;
    }
    void renderedSequence() {
        QFETCH(QStringList, range);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, cutShort);
        QTemporaryDir dir;
        const QString ptv = dir.filePath("walk.ptv"), mp4 = dir.filePath("walk.mp4");
        QCOMPARE(pelnor({"sample", ptv, "--size", "80x60", "--frames", "6", "--rate", "12"}).status, 0);
        if (cutShort)
            QVERIFY(QFile::resize(ptv, 457 + last * 5 * 80 * 60 + 1000));
        writeAll(mp4, "an older video");
        const QStringList look = {"--size", "96x72", "--color", "jet"};
        const Run made = pelnor(QStringList{"render", ptv, mp4} + look + range);
        if (cutShort) {
            QVERIFY2(made.status == 1 && made.err.contains(QString("frame %1 ").arg(last)) &&
                         made.err.count('\n') == 1,
                     qPrintable(made.err));
            QCOMPARE(readAll(mp4), QByteArray("an older video"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
            return;
        }
        QVERIFY2(made.status == 0 && made.err.isEmpty(), qPrintable(made.err));
        const QString one = dir.filePath("one.png"), frame = dir.filePath("f_%1.png");
        QCOMPARE(pelnor(QStringList{"render", ptv, dir.filePath("f_%d.png")} + look + range).status, 0);
        QCOMPARE(pelnor(QStringList{"render", ptv, one, "--frame", QString::number(first)} + look).status, 0);
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
};

QTEST_GUILESS_MAIN(TestVideo)
#include "test_video.moc"
