#include "video/video_writer.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

// The entry points of the video module (mp4_encoder.cpp).
struct VideoModule {
    void *(*open)(const QString &, int, int, double, int, QString *) = nullptr;
    bool (*addFrame)(void *, const uint8_t *, int, QString *) = nullptr;
    bool (*finish)(void *, QString *) = nullptr;
    void (*codecName)(void *, QString *) = nullptr;
    void (*close)(void *) = nullptr;
    QString problem;
};

// Loaded once, from beside the programs: the same folder relative to bin/ in the build tree and
// in an installed tree.
const VideoModule &videoModule() {
    static const VideoModule module = [] {
        VideoModule m;
        const QString path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                             QStringLiteral("/" PELNOR_VIDEO_MODULE);
        void *library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            m.problem = QStringLiteral("cannot write videos: the video module could not be loaded (%1)")
                            .arg(QString::fromLocal8Bit(dlerror()));
            return m;
        }
        m.open = reinterpret_cast<decltype(m.open)>(dlsym(library, "pelnorVideoOpen"));
        m.addFrame = reinterpret_cast<decltype(m.addFrame)>(dlsym(library, "pelnorVideoAddFrame"));
        m.finish = reinterpret_cast<decltype(m.finish)>(dlsym(library, "pelnorVideoFinish"));
        m.codecName = reinterpret_cast<decltype(m.codecName)>(dlsym(library, "pelnorVideoCodecName"));
        m.close = reinterpret_cast<decltype(m.close)>(dlsym(library, "pelnorVideoClose"));
        if (!m.open || !m.addFrame || !m.finish || !m.codecName || !m.close)
            m.problem =
                QStringLiteral("cannot write videos: %1 is not this program's video module").arg(path);
        return m;
    }();
    return module;
}

} // namespace

VideoWriter::~VideoWriter() {
    if (m_video)
        videoModule().close(m_video);
}

bool VideoWriter::open(const QString &path, int width, int height, double rate, QString *error, Codec codec) {
    const VideoModule &module = videoModule();
    if (!module.problem.isEmpty()) {
        if (error)
            *error = module.problem;
        return false;
    }
    if (m_video)
        module.close(m_video);
    m_video = module.open(path, width, height, rate, codec == H264 ? 0 : 1, error);
    return m_video != nullptr;
}

bool VideoWriter::addFrame(const uint8_t *pixels, int stride, QString *error) {
    return m_video && videoModule().addFrame(m_video, pixels, stride, error);
}

bool VideoWriter::finish(QString *error) {
    return m_video && videoModule().finish(m_video, error);
}

QString VideoWriter::codecName() const {
    QString name;
    if (m_video)
        videoModule().codecName(m_video, &name);
    return name;
}
