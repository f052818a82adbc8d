#include "render/headless_context.h"

#include "render/gl_functions.h"

// The EGL library is opened at run time: only its types and names are taken from the headers.
#define EGL_EGL_PROTOTYPES 0
#define EGL_EGLEXT_PROTOTYPES 0
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <dlfcn.h>

#include <algorithm>
#include <type_traits>

#include <vector>

struct HeadlessContext::Egl {
    QByteArray libraryName;
    void *library = nullptr;
    PFNEGLGETPROCADDRESSPROC getProcAddress = nullptr;
    PFNEGLGETERRORPROC getError = nullptr;
    PFNEGLINITIALIZEPROC initialize = nullptr;
    PFNEGLTERMINATEPROC terminate = nullptr;
    PFNEGLQUERYSTRINGPROC queryString = nullptr;
    PFNEGLBINDAPIPROC bindApi = nullptr;
    PFNEGLCHOOSECONFIGPROC chooseConfig = nullptr;
    PFNEGLCREATECONTEXTPROC createContext = nullptr;
    PFNEGLDESTROYCONTEXTPROC destroyContext = nullptr;
    PFNEGLCREATEPBUFFERSURFACEPROC createPbufferSurface = nullptr;
    PFNEGLDESTROYSURFACEPROC destroySurface = nullptr;
    PFNEGLMAKECURRENTPROC makeCurrent = nullptr;
    PFNEGLQUERYDEVICESEXTPROC queryDevices = nullptr;
    PFNEGLQUERYDEVICESTRINGEXTPROC queryDeviceString = nullptr;
    PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay = nullptr;

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;

    // Opens the library and takes its functions; false with the reason. A library that lacks one of
    // the core functions is let go again, so that nothing is ever called through a null pointer.
    bool load(QString *reason) {
        const char *name = libraryName.constData();
        library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            *reason = QStringLiteral("no EGL library (%1, Debian's libegl1) could be loaded").arg(name);
            return false;
        }
        const char *missing = nullptr;
        auto symbol = [this, &missing](auto &function, const char *symbolName) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, symbolName));
            if (!function && !missing)
                missing = symbolName;
        };
        symbol(getProcAddress, "eglGetProcAddress");
        symbol(getError, "eglGetError");
        symbol(initialize, "eglInitialize");
        symbol(terminate, "eglTerminate");
        symbol(queryString, "eglQueryString");
        symbol(bindApi, "eglBindAPI");
        symbol(chooseConfig, "eglChooseConfig");
        symbol(createContext, "eglCreateContext");
        symbol(destroyContext, "eglDestroyContext");
        symbol(createPbufferSurface, "eglCreatePbufferSurface");
        symbol(destroySurface, "eglDestroySurface");
        symbol(makeCurrent, "eglMakeCurrent");
        if (missing) {
            *reason =
                QStringLiteral("the EGL library %1 lacks EGL's function %2 (Debian's libegl1 has them all)")
                    .arg(name, missing);
            dlclose(library);
            library = nullptr;
            return false;
        }
        auto extension = [this](auto &function, const char *symbolName) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(getProcAddress(symbolName));
        };
        extension(queryDevices, "eglQueryDevicesEXT");
        extension(queryDeviceString, "eglQueryDeviceStringEXT");
        extension(getPlatformDisplay, "eglGetPlatformDisplayEXT");
        return true;
    }

    static bool lists(const char *extensions, const char *name) {
        const QByteArray padded = ' ' + QByteArray(extensions ? extensions : "") + ' ';
        return padded.contains(' ' + QByteArray(name) + ' ');
    }

    // Brings up a desktop OpenGL context on the display and makes it current; on failure everything
    // made on the way is let go again.
    bool startOn(EGLDisplay candidate) {
        EGLint major = 0, minor = 0;
        if (candidate == EGL_NO_DISPLAY || !initialize(candidate, &major, &minor))
            return false;
        display = candidate;
        const char *extensions = queryString(display, EGL_EXTENSIONS);
        EGLConfig config = EGL_NO_CONFIG_KHR;
        if (!bindApi(EGL_OPENGL_API))
            return stop();
        if (!lists(extensions, "EGL_KHR_no_config_context") ||
            !lists(extensions, "EGL_KHR_surfaceless_context")) {
            // Drawing goes to a framebuffer object; the tiny surface only gives the context a home.
            const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_NONE};
            EGLint found = 0;
            if (!chooseConfig(display, wanted, &config, 1, &found) || found < 1)
                return stop();
            const EGLint one[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
            surface = createPbufferSurface(display, config, one);
            if (surface == EGL_NO_SURFACE)
                return stop();
        }
        context = createContext(display, config, EGL_NO_CONTEXT, nullptr);
        if (context == EGL_NO_CONTEXT || !makeCurrent(display, surface, surface, context))
            return stop();
        return true;
    }

    bool stop() {
        if (display != EGL_NO_DISPLAY) {
            makeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            if (context != EGL_NO_CONTEXT)
                destroyContext(display, context);
            if (surface != EGL_NO_SURFACE)
                destroySurface(display, surface);
            terminate(display);
        }
        display = EGL_NO_DISPLAY;
        context = EGL_NO_CONTEXT;
        surface = EGL_NO_SURFACE;
        return false;
    }

    // A hardware device first (one that is not Mesa's software rasteriser), then Mesa's surfaceless
    // platform, then any device left, the software one among them.
    bool start() {
        std::vector<EGLDeviceEXT> hardware, software;
        EGLint count = 0;
        if (queryDevices && queryDeviceString && getPlatformDisplay && queryDevices(0, nullptr, &count) &&
            count > 0) {
            std::vector<EGLDeviceEXT> devices(static_cast<size_t>(count));
            if (queryDevices(count, devices.data(), &count)) {
                devices.resize(static_cast<size_t>(count));
                for (EGLDeviceEXT device : devices)
                    (lists(queryDeviceString(device, EGL_EXTENSIONS), "EGL_MESA_device_software") ? software
                                                                                                  : hardware)
                        .push_back(device);
            }
        }
        for (EGLDeviceEXT device : hardware)
            if (startOn(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr)))
                return true;
        if (getPlatformDisplay &&
            startOn(getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)))
            return true;
        for (EGLDeviceEXT device : software)
            if (startOn(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr)))
                return true;
        return false;
    }
};

HeadlessContext::HeadlessContext(const char *library) : m_egl(std::make_unique<Egl>()) {
    m_egl->libraryName = library;
}

HeadlessContext::~HeadlessContext() {
    if (m_egl->context != EGL_NO_CONTEXT) {
        if (m_framebuffer) {
            glDeleteFramebuffers(1, &m_framebuffer);
            glDeleteRenderbuffers(2, m_renderbuffers);
        }
        m_egl->stop();
    }
    // The library stays loaded: drivers register exit handlers of their own.
}

bool HeadlessContext::create(QSize size, QString *error) {
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    QString reason;
    if (!m_egl->library && !m_egl->load(&reason))
        return fail("cannot draw without a display: " + reason);
    if (m_egl->context == EGL_NO_CONTEXT && !m_egl->start())
        return fail(
            QStringLiteral("cannot draw without a display: no OpenGL driver answers through EGL "
                           "(Mesa's drivers are Debian's libegl-mesa0 and libgl1-mesa-dri), EGL error "
                           "0x%1")
                .arg(m_egl->getError(), 0, 16));
    const char *name = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    const QString renderer = QString::fromLatin1(name ? name : "");
    GLint renderbufferLimit = 0, viewportLimits[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbufferLimit);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportLimits);
    const int widest = std::min(renderbufferLimit, viewportLimits[0]);
    const int tallest = std::min(renderbufferLimit, viewportLimits[1]);
    if (size.width() < 1 || size.height() < 1 || size.width() > widest || size.height() > tallest)
        return fail(QStringLiteral("cannot draw a picture of %1 x %2 pixels: %3 draws at most %4 x %5")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(renderer)
                        .arg(widest)
                        .arg(tallest));
    if (!m_framebuffer) {
        glGenFramebuffers(1, &m_framebuffer);
        glGenRenderbuffers(2, m_renderbuffers);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size.width(), size.height());
    glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, size.width(), size.height());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_renderbuffers[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              m_renderbuffers[1]);
    m_size = size;
    return checkDrawing(error);
}

bool HeadlessContext::checkDrawing(QString *error) const {
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    GLenum glError = GL_NO_ERROR, next;
    while ((next = glGetError()) != GL_NO_ERROR)
        glError = glError == GL_NO_ERROR ? next : glError;
    if (status == GL_FRAMEBUFFER_COMPLETE && glError == GL_NO_ERROR)
        return true;
    if (error)
        *error = status != GL_FRAMEBUFFER_COMPLETE
                     ? QStringLiteral("the %1 x %2 picture cannot be drawn: its framebuffer is incomplete "
                                      "(status 0x%3)")
                           .arg(m_size.width())
                           .arg(m_size.height())
                           .arg(status, 0, 16)
                     : QStringLiteral("OpenGL reported error 0x%1 while drawing").arg(glError, 0, 16);
    return false;
}
