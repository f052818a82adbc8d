#pragma once

#include "video/video_writer.h"

#include <QImage>
#include <QString>

#include <cstdint>

struct RenderOptions;

// Where the pictures of a render go: an image file a frame, in the format its ending names (one
// file, or one a frame for a numbered name), or one video of them all.
class PictureOutput {
  public:
    explicit PictureOutput(const RenderOptions &options) : m_options(options) {}

    // A video's folder and encoder, at `rate` frames per second; an image needs nothing opened.
    bool open(double rate, QString *error);
    // The file that frame's picture goes into: the video for every frame of one.
    QString pathFor(int32_t frame) const;
    bool write(int32_t frame, QImage image, QString *reason);
    // Completes a video. One left unfinished is dropped with the output, leaving no file behind.
    bool finish(QString *error);

  private:
    const RenderOptions &m_options;
    VideoWriter m_video;
};
