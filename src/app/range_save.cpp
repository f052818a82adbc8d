#include "app/range_save.h"

#include "data/frame_pipeline.h"
#include "data/loop_range.h"
#include "data/scan_frame_store.h"

#include <QFileInfo>

#include <tuple>

RangeSave::RangeSave(QObject *parent) : QObject(parent) {
    // Told from the saving thread, joined on the window's before anyone else hears of the end.
    connect(
        this, &RangeSave::finished, this,
        [this] {
            if (m_thread.joinable())
                m_thread.join();
        },
        Qt::QueuedConnection);
}

RangeSave::~RangeSave() {
    m_cancelled = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool RangeSave::start(const QString &path, const LoopRange &range, const OutputName &name,
                      const FrameFiles &files, QString *said) {
    if (isRunning()) {
        *said = QStringLiteral("Could not save the range: frames %1 to %2 are still being saved")
                    .arg(m_first)
                    .arg(m_last);
        return false;
    }
    auto source = std::make_unique<FrameSource>();
    QString error;
    if (!source->open(path, &error)) {
        *said = QStringLiteral("Could not save the range: %1: %2").arg(QFileInfo(path).fileName(), error);
        return false;
    }
    // The range as the file holds it now, which may have been cut short since it was set.
    std::tie(m_first, m_last) = range.bounds(source->framesFound());
    m_source = std::move(source);
    m_cancelled = false;
    m_thread = std::thread([this, name, files] { run(name, files); });
    return true;
}

void RangeSave::run(const OutputName &name, const FrameFiles &files) {
    const QString cancelled = QStringLiteral("cancelled");
    int32_t written = 0, empty = 0;
    QString error;
    FramePipeline pipeline;
    const bool saved = pipeline.run(
        m_first, m_last,
        [&](int32_t frame, MeshedFrame &meshed, QString *reason) {
            if (!m_source->readFrame(frame, meshed.frame, reason))
                return false;
            files.shape(meshed);
            return true;
        },
        [&](int32_t frame, MeshedFrame &meshed, QString *reason) {
            if (m_cancelled) {
                *reason = cancelled;
                return false;
            }
            if (!files.write(frame, meshed, reason))
                return false;
            empty += meshed.regionKeptNothing;
            emit progressed(++written);
            return true;
        },
        &error);
    m_source.reset();
    const auto fileOf = [&](int32_t frame) { return QFileInfo(name.pathFor(frame)).fileName(); };
    QString said;
    if (saved)
        said = QStringLiteral("Saved frames %1 to %2 as %3 to %4")
                   .arg(m_first)
                   .arg(m_last)
                   .arg(fileOf(m_first), fileOf(m_last));
    else if (error == cancelled)
        said = QStringLiteral("Saving frames %1 to %2 cancelled").arg(m_first).arg(m_last);
    else
        said = QStringLiteral("Could not save frames %1 to %2: %3")
                   .arg(QString::number(m_first), QString::number(m_last), error);
    // Files without a point are written as asked, and said.
    if (empty > 0)
        said += QStringLiteral("; the region keeps no point of %1 of them").arg(empty);
    if (!saved && written == 1)
        said += QStringLiteral("; %1 is written").arg(fileOf(m_first));
    else if (!saved && written > 1)
        said += QStringLiteral("; %1 to %2 are written").arg(fileOf(m_first), fileOf(m_first + written - 1));
    emit finished(said, saved);
}
