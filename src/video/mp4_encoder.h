#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QSaveFile;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct SwsContext;

// The encoder behind VideoWriter, through FFmpeg's libraries; it lives in the video module, which a
// program loads only when it writes a video (video_writer.h).
class Mp4Encoder {
  public:
    enum Codec { H264, Mpeg4 };

    Mp4Encoder();
    Mp4Encoder(const Mp4Encoder &) = delete;
    Mp4Encoder &operator=(const Mp4Encoder &) = delete;
    ~Mp4Encoder();

    // Starts a video of width x height (both even) at `rate` frames per second. H264 falls back to
    // Mpeg4 when no H.264 encoder opens.
    bool open(const QString &path, int width, int height, double rate, QString *error, Codec codec = H264);
    // Appends one picture of 32-bit pixels in memory order blue, green, red, unused (a QImage of
    // Format_RGB32), `stride` bytes per row.
    bool addFrame(const uint8_t *pixels, int stride, QString *error);
    // Drains the encoder, writes the index (moov) and puts the file in place.
    bool finish(QString *error);
    // The encoder in use, for messages and tests.
    QString codecName() const;

  private:
    bool encode(const AVFrame *frame, QString *error);
    void close();

    std::unique_ptr<QSaveFile> m_file;
    AVFormatContext *m_format = nullptr;
    AVIOContext *m_io = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_scaler = nullptr;
    int64_t m_nextPts = 0;
    QString m_codecName;
};
