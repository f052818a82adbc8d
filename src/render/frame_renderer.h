#pragma once

#include "render/eye_dome_pass.h"
#include "render/view_state.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>

class ScanFrameStore;
struct FrameMesh;

// Bytes of `count` elements of `elementBytes` each as one GL buffer takes them (an int), or -1 when
// they do not fit.
int glBufferBytes(uint64_t count, uint64_t elementBytes);

// Draws the frame held in a store into whatever OpenGL context is current and whatever framebuffer
// is bound there: the window's widget calls it from its paint, the tool inside a headless context.
// It owns the shader program (which triangulates phase frames on the GPU), the vertex and index
// buffers, and knows no widget, window or event. Every call needs the context it was initialised
// in to be current.
class FrameRenderer {
  public:
    FrameRenderer() = default;
    FrameRenderer(const FrameRenderer &) = delete;
    FrameRenderer &operator=(const FrameRenderer &) = delete;
    // The GL objects must have been released with their context current (release()).
    ~FrameRenderer() = default;

    // Builds the program and the buffers. False, with the reason, when the context lacks what the
    // drawing needs (OpenGL 3.2 or newer with the compatibility profile) or a shader does not
    // compile or link; draw() then clears to the background alone.
    bool initialize(QString *error);
    bool isReady() const { return m_program != 0; }
    // Sends a frame's mesh arrays to the GPU, reusing the buffers' storage when the size is
    // unchanged. Arrays beyond what one GL buffer takes are refused with a message naming the file
    // `name`; nothing is drawn then until the next upload, rather than the last frame's arrays under
    // this frame's calibration.
    bool upload(const FrameMesh &mesh, const QString &name, QString *error);
    // Clears the bound framebuffer and draws the uploaded mesh of `frame` (whose calibration a raw
    // frame is triangulated with) into a viewport of `size` pixels, with the eye-dome lighting the
    // state asks for in its style. The picture is in the framebuffer bound before (readDepths has
    // the scene's depths), and the GL state is left as a QPainter on it expects.
    void draw(const ScanFrameStore &frame, const ViewState &state, QSize size);
    // Waits until what was drawn is in the framebuffer.
    void finish() const;
    // The matrices of the last draw.
    const ViewMatrices &matrices() const { return m_matrices; }
    int indexCount() const { return m_indexCount; }

    // The picture in the bound framebuffer, top row first; with alpha as drawn (premultiplied) or
    // opaque.
    QImage readImage(QSize size, bool alpha) const;
    // Depth buffer values of a block of the last picture given in y-down pixels, into `depths`
    // (block width x height floats), rows bottom up as GL gives them: of the bound framebuffer, or
    // after eye-dome lighting, of the scene drawn before it.
    void readDepths(const QRect &block, int framebufferHeight, float *depths) const;

    // Deletes the GL objects; the context they were made in must be current.
    void release();

  private:
    void setPointSize(const ScanFrameStore &frame, const ViewState &state, QSize size);

    unsigned int m_program = 0;
    unsigned int m_vertexArray = 0;
    unsigned int m_vertexBuffer = 0;
    unsigned int m_indexBuffer = 0;
    int64_t m_vertexBytes = 0;
    int64_t m_indexBytes = 0;
    int m_indexCount = 0;
    int m_meshStride = 1;
    // Of the frame whose mesh was uploaded last; negative until a draw needs it.
    float m_footprintPerDepth = -1.0f;
    EyeDomePass m_eyeDome;
    bool m_litLast = false;
    ViewMatrices m_matrices;
};
