#include "app/depth_analysis.h"

#include "data/frame_source.h"
#include "geometry/depth_maps.h"

#include <QFileInfo>

#include <memory>

namespace {

// Frames of a series between two answers: the plot fills in steps a user sees move.
constexpr int kSeriesStretch = 15;

} // namespace

DepthAnalysis::DepthAnalysis(QObject *parent) : QObject(parent) {
    m_thread = std::thread([this] { run(); });
}

DepthAnalysis::~DepthAnalysis() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_interrupt = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DepthAnalysis::restart(const QString &path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_path = path;
        ++m_generation;
        m_wanted = Wanted();
        m_wanted.level = !path.isEmpty();
        m_interrupt = true;
    }
    m_wake.notify_all();
}

void DepthAnalysis::open(const QString &path) {
    restart(path);
}

void DepthAnalysis::close() {
    restart(QString());
}

void DepthAnalysis::askNoise(int frame) {
    {
        // A noise window that moves is not stopped: the next move starts from where it ends.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted.noiseFrame = frame;
    }
    m_wake.notify_all();
}

void DepthAnalysis::askMean(int frames) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted.meanFrames = frames;
        m_interrupt = m_interrupt || m_running == Mean;
    }
    m_wake.notify_all();
}

void DepthAnalysis::askSeries(const QVector<QPoint> &pixels) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wanted.series = pixels;
        m_wanted.seriesNext = 0;
        m_interrupt = m_interrupt || m_running == Series;
    }
    m_wake.notify_all();
}

void DepthAnalysis::giveBack(std::vector<float> buffer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_spare.size() < 2)
        m_spare.push_back(std::move(buffer));
}

template <typename Emit> void DepthAnalysis::answer(uint64_t generation, Emit emitIt) {
    QMetaObject::invokeMethod(
        this,
        [this, generation, emitIt]() mutable {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (generation != m_generation)
                    return;
            }
            emitIt();
        },
        Qt::QueuedConnection);
}

void DepthAnalysis::run() {
    std::unique_ptr<FrameSource> source;
    std::unique_ptr<DepthFrames> reader;
    std::unique_ptr<NoiseWindow> window;
    // The generation of the file the source was opened on; 0 for none (generations start at 1).
    uint64_t opened = 0;
    QString openError;
    std::vector<float> scratch;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_running = Idle;
        m_wake.wait(lock, [this] {
            const Wanted &w = m_wanted;
            return m_stopping || (!m_path.isEmpty() &&
                                  (w.level || w.meanFrames > 0 || w.noiseFrame >= 0 || !w.series.isEmpty()));
        });
        if (m_stopping)
            return;
        Wanted &w = m_wanted;
        const uint64_t generation = m_generation;
        const QString path = m_path;
        m_running = w.level ? Level : w.meanFrames > 0 ? Mean : w.noiseFrame >= 0 ? Noise : Series;
        const int noiseFrame = w.noiseFrame, meanFrames = w.meanFrames, seriesFirst = w.seriesNext;
        const QVector<QPoint> pixels = w.series;
        if (m_running == Level)
            w.level = false;
        else if (m_running == Mean)
            w.meanFrames = 0;
        else if (m_running == Noise)
            w.noiseFrame = -1;
        std::vector<float> buffer;
        if (!m_spare.empty()) {
            buffer = std::move(m_spare.back());
            m_spare.pop_back();
        }
        m_interrupt = false;
        lock.unlock();

        if (opened != generation) {
            source = std::make_unique<FrameSource>();
            openError.clear();
            if (!source->open(path, &openError))
                openError = QFileInfo(path).fileName() + ": " + openError;
            reader = std::make_unique<DepthFrames>(*source);
            window = std::make_unique<NoiseWindow>(*source);
            opened = generation;
        }
        QString error = openError;
        const int32_t held = error.isEmpty() ? source->framesFound() : 0;
        bool ok = error.isEmpty();
        int seriesLast = -1;
        if (ok && (m_running == Level || m_running == Noise)) {
            const int frame = m_running == Level ? 0 : noiseFrame;
            const auto [first, last] = frameWindow(frame, kNoiseWindow, held);
            ok = window->moveTo(first, last, &error, &m_interrupt);
            if (ok) {
                buffer.resize(size_t(source->width()) * size_t(source->height()));
                window->spread(buffer.data());
                const float median = finiteMedian(buffer.data(), int64_t(buffer.size()), scratch);
                if (m_running == Level)
                    answer(generation, [this, median] { emit noiseLevelFound(median); });
                auto map = std::make_shared<std::vector<float>>(std::move(buffer));
                answer(generation, [this, map, frame, first = first, last = last, median] {
                    if (!m_noise.empty())
                        giveBack(std::move(m_noise));
                    m_noise = std::move(*map);
                    emit noiseFound(frame, first, last, median);
                });
            }
        } else if (ok && m_running == Mean) {
            auto mean = std::make_shared<std::vector<float>>();
            ok = reader->mean(0, std::min(meanFrames, held) - 1, *mean, &error, &m_interrupt);
            if (ok)
                answer(generation, [this, mean, meanFrames] {
                    m_mean = std::move(*mean);
                    emit meanFound(meanFrames);
                });
        } else if (ok && m_running == Series) {
            seriesLast = std::min(held, seriesFirst + kSeriesStretch) - 1;
            const std::vector<QPoint> asked(pixels.begin(), pixels.end());
            QVector<float> values;
            values.reserve((seriesLast - seriesFirst + 1) * pixels.size());
            ok = reader->series(
                asked, kSeriesWindow, seriesFirst, seriesLast,
                [&values, &asked](int32_t, const float *found) {
                    for (size_t i = 0; i < asked.size(); ++i)
                        values.append(found[i]);
                    return true;
                },
                &error, &m_interrupt);
            if (ok)
                answer(generation, [this, pixels, seriesFirst, values] {
                    emit seriesFound(pixels, seriesFirst, values);
                });
        }
        // A file that changed under the reading (cut short, written anew) is opened again next time.
        // Only what the user asked for is said to fail; the noise is asked for at every pause.
        if (!ok && !m_interrupt)
            opened = 0;
        if (!ok && !m_interrupt && !error.isEmpty() && (m_running == Mean || m_running == Series))
            answer(generation, [this, error] { emit failed(error); });

        lock.lock();
        // A series goes on with its next stretch unless it was asked again meanwhile; one that cannot
        // be read stops.
        if (m_running == Series && !m_interrupt && generation == m_generation && m_wanted.series == pixels &&
            m_wanted.seriesNext == seriesFirst) {
            const bool more = ok && seriesLast + 1 < held;
            m_wanted.seriesNext = more ? seriesLast + 1 : 0;
            if (!more)
                m_wanted.series.clear();
        }
    }
}
