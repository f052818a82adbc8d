#pragma once

#include <QString>

#include <cstdint>

// Writes an MP4 video that common players open: H.264 (the older MPEG-4 Visual codec where no
// H.264 encoder is there), yuv420p with BT.709 colours, one frame per picture at a fixed rate.
// The file appears only when finish() succeeds; until then an existing file of that name stays
// as it was, and a writer dropped unfinished leaves nothing behind.
//
// The encoding itself lives in a module of its own, linked with FFmpeg's libraries and loaded on
// the first open(): FFmpeg and the hundred libraries it pulls in cost every start of a program a
// tenth of a second, and only videos need them.
class VideoWriter {
  public:
    enum Codec { H264, Mpeg4 };

    VideoWriter() = default;
    VideoWriter(const VideoWriter &) = delete;
    VideoWriter &operator=(const VideoWriter &) = delete;
    ~VideoWriter();

    // Whether an MP4 video can play `rate` frames per second: the encoders take the rate as a
    // fraction of two numbers up to 65535, so from one frame in 65535 seconds to 65535 frames a
    // second. Outside, false with a reason naming the rate and that range.
    static bool rateFits(double rate, QString *error);
    // Starts a video of width x height (both even) at `rate` frames per second. H264 falls back to
    // Mpeg4 when no H.264 encoder opens. Fails, saying so, when the video module cannot be loaded.
    bool open(const QString &path, int width, int height, double rate, QString *error, Codec codec = H264);
    // Appends one picture of 32-bit pixels in memory order blue, green, red, unused (a QImage of
    // Format_RGB32), `stride` bytes per row.
    bool addFrame(const uint8_t *pixels, int stride, QString *error);
    // Drains the encoder, writes the index (moov) and puts the file in place.
    bool finish(QString *error);
    // The encoder in use, for messages and tests.
    QString codecName() const;

  private:
    void *m_video = nullptr;
};
