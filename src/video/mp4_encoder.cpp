#include "video/mp4_encoder.h"
#include "video/video_writer.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// Newer libavformat hands the packet bytes as const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using PacketBytes = const uint8_t *;
#else
using PacketBytes = uint8_t *;
#endif

// The muxer writes through the save file, so the video is complete before it replaces anything.
int writePacket(void *opaque, PacketBytes bytes, int size) {
    auto *file = static_cast<QSaveFile *>(opaque);
    return file->write(reinterpret_cast<const char *>(bytes), size) == size ? size : AVERROR(EIO);
}

// The MP4 muxer goes back to fill in sizes once the media data is written.
int64_t seekPacket(void *opaque, int64_t offset, int whence) {
    auto *file = static_cast<QSaveFile *>(opaque);
    if (whence & AVSEEK_SIZE)
        return file->size();
    whence &= ~AVSEEK_FORCE;
    const int64_t base = whence == SEEK_CUR ? file->pos() : whence == SEEK_END ? file->size() : 0;
    return file->seek(base + offset) ? base + offset : -1;
}

QString avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

bool fail(QString *error, const QString &reason) {
    if (error)
        *error = reason;
    return false;
}

} // namespace

Mp4Encoder::Mp4Encoder() = default;

Mp4Encoder::~Mp4Encoder() {
    close();
}

void Mp4Encoder::close() {
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    avformat_free_context(m_format);
    m_format = nullptr;
    m_stream = nullptr;
    // A file not committed is dropped: the temporary goes, and no half video takes the name.
    m_file.reset();
}

bool Mp4Encoder::open(const QString &path, int width, int height, double rate, QString *error, Codec codec) {
    close();
    m_nextPts = 0;
    // The encoders' own chatter would break the one-line outcome on standard error.
    av_log_set_level(AV_LOG_QUIET);
    if (width < 2 || height < 2 || width % 2 || height % 2)
        return fail(error, QStringLiteral("a video needs an even size"));
    if (!VideoWriter::rateFits(rate, error))
        return false;
    m_file = std::make_unique<QSaveFile>(path);
    if (!m_file->open(QIODevice::WriteOnly))
        return fail(error, m_file->errorString());
    if (avformat_alloc_output_context2(&m_format, nullptr, "mp4", nullptr) < 0 || !m_format)
        return fail(error, QStringLiteral("no MP4 writer in this FFmpeg"));

    // The frame rate as a fraction the encoders take (denominators below 65536).
    const AVRational frameRate = av_d2q(rate, 65535);
    const AVCodec *encoder = nullptr;
    int opened = -1;
    for (const Codec candidate : {codec, Mpeg4}) {
        encoder = candidate == H264 ? avcodec_find_encoder_by_name("libx264") : nullptr;
        if (!encoder)
            encoder = avcodec_find_encoder(candidate == H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
        if (!encoder)
            continue;
        avcodec_free_context(&m_codec);
        m_codec = avcodec_alloc_context3(encoder);
        m_codec->width = width;
        m_codec->height = height;
        m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
        m_codec->time_base = av_inv_q(frameRate);
        m_codec->framerate = frameRate;
        // A key frame every two seconds, so players can seek, and never more than 250 frames apart,
        // so a fast video seeks too.
        m_codec->gop_size = static_cast<int>(std::clamp(std::lround(2.0 * rate), 1L, 250L));
        m_codec->color_range = AVCOL_RANGE_MPEG;
        m_codec->colorspace = AVCOL_SPC_BT709;
        m_codec->color_primaries = AVCOL_PRI_BT709;
        m_codec->color_trc = AVCOL_TRC_BT709;
        m_codec->thread_count = 0;
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (candidate == H264) {
            av_opt_set(m_codec->priv_data, "preset", "veryfast", 0);
            av_opt_set(m_codec->priv_data, "crf", "18", 0);
        } else {
            m_codec->flags |= AV_CODEC_FLAG_QSCALE;
            m_codec->global_quality = FF_QP2LAMBDA * 3;
        }
        opened = avcodec_open2(m_codec, encoder, nullptr);
        if (opened >= 0)
            break;
    }
    if (opened < 0)
        return fail(error, QStringLiteral("no H.264 or MPEG-4 encoder opens: %1").arg(avError(opened)));
    m_codecName = QString::fromLatin1(encoder->name);

    m_stream = avformat_new_stream(m_format, nullptr);
    if (!m_stream || avcodec_parameters_from_context(m_stream->codecpar, m_codec) < 0)
        return fail(error, QStringLiteral("cannot add the video stream"));
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = frameRate;

    constexpr int kBufferSize = 1 << 16;
    auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
    m_io = avio_alloc_context(buffer, kBufferSize, 1, m_file.get(), nullptr, writePacket, seekPacket);
    if (!m_io) {
        av_free(buffer);
        return fail(error, QStringLiteral("out of memory"));
    }
    m_format->pb = m_io;
    const int header = avformat_write_header(m_format, nullptr);
    if (header < 0)
        return fail(error, QStringLiteral("cannot write the video header: %1").arg(avError(header)));

    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_packet)
        return fail(error, QStringLiteral("out of memory"));
    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = width;
    m_frame->height = height;
    m_frame->color_range = AVCOL_RANGE_MPEG;
    m_frame->colorspace = AVCOL_SPC_BT709;
    if (av_frame_get_buffer(m_frame, 0) < 0)
        return fail(error, QStringLiteral("out of memory"));
    m_scaler = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                              nullptr, nullptr, nullptr);
    if (!m_scaler)
        return fail(error, QStringLiteral("cannot convert pictures to yuv420p"));
    // Full-range RGB in, limited-range BT.709 out, as the stream says.
    sws_setColorspaceDetails(m_scaler, sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool Mp4Encoder::addFrame(const uint8_t *pixels, int stride, QString *error) {
    if (!m_scaler)
        return fail(error, QStringLiteral("the video is not open"));
    if (av_frame_make_writable(m_frame) < 0)
        return fail(error, QStringLiteral("out of memory"));
    const uint8_t *planes[1] = {pixels};
    const int strides[1] = {stride};
    sws_scale(m_scaler, planes, strides, 0, m_codec->height, m_frame->data, m_frame->linesize);
    m_frame->pts = m_nextPts++;
    return encode(m_frame, error);
}

// Sends a picture (null: the end) and writes every packet the encoder has ready.
bool Mp4Encoder::encode(const AVFrame *frame, QString *error) {
    int result = avcodec_send_frame(m_codec, frame);
    while (result >= 0) {
        result = avcodec_receive_packet(m_codec, m_packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            break;
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        result = av_interleaved_write_frame(m_format, m_packet);
    }
    return fail(error,
                QStringLiteral("cannot encode the video: %1")
                    .arg(m_file->error() != QFileDevice::NoError ? m_file->errorString() : avError(result)));
}

bool Mp4Encoder::finish(QString *error) {
    if (!m_scaler)
        return fail(error, QStringLiteral("the video is not open"));
    bool ok = encode(nullptr, error);
    const int trailer = ok ? av_write_trailer(m_format) : 0;
    if (ok && trailer < 0)
        ok = fail(error, QStringLiteral("cannot write the video index: %1").arg(avError(trailer)));
    if (ok) {
        avio_flush(m_io);
        if (!m_file->commit())
            ok = fail(error, m_file->errorString());
    }
    close();
    return ok;
}

QString Mp4Encoder::codecName() const {
    return m_codecName;
}

// What the programs find in the video module, by these names: C names, so that they need no
// knowledge of the compiler's mangling.
extern "C" {

__attribute__((visibility("default"))) void *pelnorVideoOpen(const QString &path, int width, int height,
                                                             double rate, int codec, QString *error) {
    auto video = std::make_unique<Mp4Encoder>();
    if (!video->open(path, width, height, rate, error, codec == 0 ? Mp4Encoder::H264 : Mp4Encoder::Mpeg4))
        return nullptr;
    return video.release();
}

__attribute__((visibility("default"))) bool pelnorVideoAddFrame(void *video, const uint8_t *pixels,
                                                                int stride, QString *error) {
    return static_cast<Mp4Encoder *>(video)->addFrame(pixels, stride, error);
}

__attribute__((visibility("default"))) bool pelnorVideoFinish(void *video, QString *error) {
    return static_cast<Mp4Encoder *>(video)->finish(error);
}

__attribute__((visibility("default"))) void pelnorVideoCodecName(void *video, QString *name) {
    *name = static_cast<Mp4Encoder *>(video)->codecName();
}

__attribute__((visibility("default"))) void pelnorVideoClose(void *video) {
    delete static_cast<Mp4Encoder *>(video);
}
}
