#pragma once

#include "render/view_state.h"

#include <QMatrix4x4>
#include <QRect>
#include <QSize>
#include <QString>

// Eye-dome lighting of a picture (EyeDome). The scene is drawn into a framebuffer of the pass's own,
// which keeps beside the colour each pixel's distance from the eye (in full float precision: the
// depth buffer's steps at a scanner's working distance are a good part of a pixel's footprint and
// would show as contour lines) and the depth buffer. One pass at full resolution then writes the
// scene shaded into the framebuffer that was bound before; whatever is painted afterwards (legend,
// picks, measuring line) stays unshaded, and picks read the depths the scene left in the pass's own
// framebuffer. Every call needs the context it was initialised in to be current.
class EyeDomePass {
  public:
    EyeDomePass() = default;
    EyeDomePass(const EyeDomePass &) = delete;
    EyeDomePass &operator=(const EyeDomePass &) = delete;

    // Builds the program; false, with the reason, when it does not compile or link.
    bool initialize(QString *error);
    bool isReady() const { return m_program != 0; }
    // Remembers the framebuffer bound now and binds the scene's, of `size` pixels (made or resized as
    // needed), for the caller to clear and draw into. False, the framebuffer bound before still
    // bound, when the driver cannot make it: the scene is then drawn unshaded.
    bool bind(QSize size);
    // After the caller's clear: the distances where nothing will be drawn are those of the far plane
    // of `projection`.
    void clearDistances(const QMatrix4x4 &projection);
    // Writes the scene, shaded, into the framebuffer bound before bind() and leaves that bound.
    void shade(const EyeDome &light, const QMatrix4x4 &projection);
    // The depths of a block of the last scene drawn, as FrameRenderer::readDepths gives them.
    void readDepths(const QRect &block, int framebufferHeight, float *depths) const;
    // Deletes the GL objects; the context they were made in must be current.
    void release();

  private:
    void releaseFramebuffer();

    unsigned int m_program = 0;
    unsigned int m_vertexArray = 0;
    unsigned int m_framebuffer = 0;
    // Colour and distance from the eye.
    unsigned int m_textures[2] = {0, 0};
    unsigned int m_depth = 0;
    QSize m_size;
    // The driver would not make a framebuffer this size: not asked again at every picture.
    QSize m_refusedSize;
    int m_drawTarget = 0;
    int m_readTarget = 0;
};
