#pragma once

#include <QSize>
#include <QString>

#include <memory>

// An OpenGL context with no window system at all, for drawing where there is no display: a batch
// job, a container, a file manager's sandboxed thumbnailer. It comes from EGL: a hardware device
// where one exists, else Mesa's surfaceless platform, else Mesa's software device. Drawing goes into
// a framebuffer object of the size asked, bound while the context lives. The EGL library is loaded
// when a context is made, so a program that never draws headless does not need it.
class HeadlessContext {
  public:
    // `library` is the EGL library to open; tests name one that lacks EGL's functions.
    explicit HeadlessContext(const char *library = "libEGL.so.1");
    HeadlessContext(const HeadlessContext &) = delete;
    HeadlessContext &operator=(const HeadlessContext &) = delete;
    ~HeadlessContext();

    // Makes the context current on this thread with a framebuffer of `size` bound. False, with one
    // line a user understands, when there is no EGL library or driver, the library lacks one of
    // EGL's functions (named), or the driver does not draw pictures that large (the message names
    // the largest). A failed call may be made again.
    bool create(QSize size, QString *error);
    // Whether what was drawn can be trusted: the framebuffer complete and no GL error raised since
    // the last check. False with the reason.
    bool checkDrawing(QString *error) const;

  private:
    struct Egl;
    std::unique_ptr<Egl> m_egl;
    QSize m_size;
    unsigned int m_framebuffer = 0;
    unsigned int m_renderbuffers[2] = {0, 0};
};
