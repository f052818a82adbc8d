#pragma once

#include <QSize>

class ScanFrameStore;
struct ViewState;

// How much of the pixel grid the picture is drawn from. A frame of a megapixel and more drawn into
// a view of well under one gives several frame pixels to each screen pixel, and software OpenGL
// pays for every one of them: every stride-th row and column (1, 2, 4 or 8) is drawn instead where
// that loses nothing the screen can show, and more coarsely while the picture moves faster than
// the machine draws it. A still picture is always drawn from every pixel.
class DetailLevel {
  public:
    static constexpr int kCoarsest = 8;

    // The stride at which neighbouring samples land about one screen pixel apart: frame pixels per
    // picture pixel at the depth of the framing's centre, rounded down to a power of two up to 8. A
    // picture as large as the frame or larger is always drawn at stride 1.
    static int screenStride(const ScanFrameStore &store, const ViewState &state, QSize picture);

    // Automatic follows the screen and the clock while the picture moves; Full always draws every
    // pixel.
    void setAutomatic(bool on);

    // The stride of the next picture: 1 when still; while moving (playing, turning, panning,
    // zooming) the screen's stride, doubled when pictures took longer than `budgetMs` (the file's
    // frame interval, or 40 ms for a drag) and halved again when they take well under a quarter of
    // it, each only after a few pictures in a row, so the level never flickers.
    int next(int screenStride, bool moving, double lastPictureMs, double budgetMs);

  private:
    bool m_automatic = true;
    int m_extra = 1; // the factor above the screen's stride
    int m_slowInARow = 0;
    int m_fastInARow = 0;
};
