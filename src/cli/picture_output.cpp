#include "cli/picture_output.h"

#include "cli/render_options.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace {

// Writes the image in the format its ending names, replacing an existing file only once the new
// one is complete.
bool saveImage(const QImage &image, const QString &path, QString *error) {
    QSaveFile file(path);
    QImageWriter writer(&file, QFileInfo(path).suffix().toLower().toLatin1());
    if (file.open(QIODevice::WriteOnly) && writer.write(image) && file.commit())
        return true;
    *error = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
    return false;
}

} // namespace

bool PictureOutput::open(double rate, QString *error) {
    const QString path = m_options.outFiles.pathFor(0);
    return !m_options.video ||
           (readyFolderOf(path, true, error) &&
            m_video.open(path, m_options.picture.width(), m_options.picture.height(), rate, error));
}

QString PictureOutput::pathFor(int32_t frame) const {
    return m_options.outFiles.pathFor(frame);
}

bool PictureOutput::write(int32_t frame, QImage image, QString *reason) {
    if (!m_options.video)
        return readyFolderOf(pathFor(frame), true, reason) && saveImage(image, pathFor(frame), reason);
    image = std::move(image).convertToFormat(QImage::Format_RGB32);
    return m_video.addFrame(image.constBits(), image.bytesPerLine(), reason);
}

bool PictureOutput::finish(QString *error) {
    return !m_options.video || m_video.finish(error);
}
