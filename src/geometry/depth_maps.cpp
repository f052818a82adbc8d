#include "geometry/depth_maps.h"

#include "geometry/depth_jumps.h"
#include "support/row_pool.h"

#include <algorithm>
#include <cmath>

namespace {

// The depths the jump rule measures along sample row `row` of a rule at stride 1, NaN where the
// frame measured nothing.
void depthRow(const DepthJumpRule &rule, const ScanFrameStore &store, int row, RowPoints &points,
              float *out) {
    rule.rowPoints(row, points);
    const float *d = points.depth.empty() ? points.z.data() : points.depth.data();
    const uint8_t *mask = store.mask.get() + int64_t(row) * store.width;
    for (int u = 0; u < store.width; ++u)
        out[u] = mask[u] && std::isfinite(d[u]) ? d[u] : NAN;
}

// The rule gives the points and depths; its verdicts on jumps are not asked for here.
DepthJumpRule depthRule(const ScanFrameStore &store) {
    return DepthJumpRule(store, DepthJumpRule::kDefaultFactor, 1);
}

} // namespace

void depthImage(const ScanFrameStore &store, float *depth) {
    if (store.width < 1 || store.height < 1)
        return;
    const DepthJumpRule rule = depthRule(store);
    RowPool::instance().forRows(store.height, [&](int first, int end) {
        thread_local RowPoints points;
        for (int row = first; row < end; ++row)
            depthRow(rule, store, row, points, depth + int64_t(row) * store.width);
    });
}

void depthChange(const float *depth, const float *reference, int64_t count, float *change) {
    // NaN in either gives NaN: no test needed, and the loop runs in vector registers.
    for (int64_t i = 0; i < count; ++i)
        change[i] = depth[i] - reference[i];
}

float finiteMedian(const float *values, int64_t count, std::vector<float> &scratch) {
    scratch.clear();
    for (int64_t i = 0; i < count; ++i)
        if (std::isfinite(values[i]))
            scratch.push_back(values[i]);
    if (scratch.empty())
        return NAN;
    // The lower middle of an even count: a value that was measured, not a mean of two.
    const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>((scratch.size() - 1) / 2);
    std::nth_element(scratch.begin(), middle, scratch.end());
    return *middle;
}

void DepthAccumulator::reset(int64_t count) {
    m_sum.assign(size_t(count), 0.0);
    m_squares.assign(size_t(count), 0.0);
    m_count.assign(size_t(count), 0);
    m_frames = 0;
}

void DepthAccumulator::add(const float *depth) {
    const size_t n = m_sum.size();
    for (size_t i = 0; i < n; ++i) {
        const double d = depth[i];
        if (std::isfinite(d)) {
            m_sum[i] += d;
            m_squares[i] += d * d;
            ++m_count[i];
        }
    }
    ++m_frames;
}

void DepthAccumulator::remove(const float *depth) {
    const size_t n = m_sum.size();
    for (size_t i = 0; i < n; ++i) {
        const double d = depth[i];
        if (std::isfinite(d)) {
            m_sum[i] -= d;
            m_squares[i] -= d * d;
            --m_count[i];
        }
    }
    --m_frames;
}

void DepthAccumulator::mean(float *out) const {
    for (size_t i = 0; i < m_sum.size(); ++i)
        out[i] = m_count[i] > 0 ? float(m_sum[i] / m_count[i]) : NAN;
}

void DepthAccumulator::spread(float *out) const {
    for (size_t i = 0; i < m_sum.size(); ++i) {
        const double n = m_count[i];
        // Depths of a few hundred units vary by hundredths: double keeps the difference of the sums.
        const double variance = (m_squares[i] - m_sum[i] * m_sum[i] / n) / (n - 1.0);
        out[i] = m_count[i] > 1 ? float(std::sqrt(std::max(variance, 0.0))) : NAN;
    }
}

std::pair<int32_t, int32_t> frameWindow(int32_t frame, int32_t size, int32_t held) {
    const int32_t first = std::clamp(frame, 0, std::max(0, held - size));
    return {first, std::min(held, first + size) - 1};
}

bool DepthFrames::read(int32_t frame, QString *error) {
    m_depthDone = false;
    return m_source.readFrame(frame, m_store, error);
}

const std::vector<float> &DepthFrames::depth() {
    if (!m_depthDone) {
        m_depth.resize(size_t(m_store.pixelCount));
        depthImage(m_store, m_depth.data());
        m_depthDone = true;
    }
    return m_depth;
}

bool DepthFrames::accumulate(int32_t first, int32_t last, QString *error, const std::atomic<bool> *stop) {
    m_sums.reset(int64_t(m_source.width()) * m_source.height());
    for (int32_t k = first; k <= last; ++k) {
        if ((stop && *stop) || !read(k, error))
            return false;
        m_sums.add(depth().data());
    }
    return true;
}

bool DepthFrames::mean(int32_t first, int32_t last, std::vector<float> &out, QString *error,
                       const std::atomic<bool> *stop) {
    if (!accumulate(first, last, error, stop))
        return false;
    out.resize(m_depth.size());
    m_sums.mean(out.data());
    return true;
}

bool DepthFrames::spread(int32_t first, int32_t last, std::vector<float> &out, QString *error,
                         const std::atomic<bool> *stop) {
    if (!accumulate(first, last, error, stop))
        return false;
    out.resize(m_depth.size());
    m_sums.spread(out.data());
    return true;
}

void DepthFrames::seriesValues(const std::vector<QPoint> &pixels, int window, float *out) {
    const ScanFrameStore &store = m_store;
    const DepthJumpRule rule = depthRule(store);
    thread_local RowPoints points;
    m_row.resize(size_t(std::max(store.width, 0)));
    const int half = window / 2;
    for (size_t p = 0; p < pixels.size(); ++p) {
        const int u = pixels[p].x(), v = pixels[p].y();
        m_block.clear();
        for (int y = std::max(0, v - half); y <= std::min(store.height - 1, v + half); ++y) {
            depthRow(rule, store, y, points, m_row.data());
            for (int x = std::max(0, u - half); x <= std::min(store.width - 1, u + half); ++x)
                m_block.push_back(m_row[size_t(x)]);
        }
        out[p] = finiteMedian(m_block.data(), int64_t(m_block.size()), m_scratch);
    }
}

bool DepthFrames::series(const std::vector<QPoint> &pixels, int window, int32_t first, int32_t last,
                         const std::function<bool(int32_t, const float *)> &row, QString *error,
                         const std::atomic<bool> *stop) {
    std::vector<float> values(pixels.size());
    for (int32_t k = first; k <= last; ++k) {
        if ((stop && *stop) || !read(k, error))
            return false;
        seriesValues(pixels, window, values.data());
        if (!row(k, values.data()))
            return false;
    }
    return true;
}

bool NoiseWindow::step(int32_t frame, bool in, QString *error) {
    if (!m_frames.read(frame, error))
        return false;
    if (in)
        m_sums.add(m_frames.depth().data());
    else
        m_sums.remove(m_frames.depth().data());
    return true;
}

bool NoiseWindow::moveTo(int32_t first, int32_t last, QString *error, const std::atomic<bool> *stop) {
    const FrameSource &source = m_frames.source();
    // A window that does not overlap the one held starts again.
    if (first > m_last || last < m_first || m_sums.frames() != m_last - m_first + 1) {
        m_sums.reset(int64_t(source.width()) * source.height());
        m_first = first, m_last = first - 1;
    }
    const auto stopped = [stop] { return stop && stop->load(); };
    bool ok = true;
    for (int32_t k = m_first; ok && k < first; ++k)
        ok = !stopped() && step(k, false, error);
    for (int32_t k = m_last; ok && k > last; --k)
        ok = !stopped() && step(k, false, error);
    for (int32_t k = std::max(m_last + 1, first); ok && k <= last; ++k)
        ok = !stopped() && step(k, true, error);
    for (int32_t k = std::min(m_first, last + 1) - 1; ok && k >= first; --k)
        ok = !stopped() && step(k, true, error);
    if (!ok) {
        m_sums.reset(int64_t(source.width()) * source.height());
        m_first = 0, m_last = -1;
        return false;
    }
    m_first = first, m_last = last;
    return true;
}

float defaultChangeRange(float noise, float depthSpan) {
    if (noise > 0.0f && std::isfinite(noise))
        return 4.0f * noise;
    return depthSpan > 0.0f && std::isfinite(depthSpan) ? depthSpan / 100.0f : 1.0f;
}

float neutralChange(float noise) {
    return noise > 0.0f && std::isfinite(noise) ? 2.0f * noise : 0.0f;
}

float medianNoise(DepthFrames &frames, int32_t frame, int32_t window, QString *error) {
    const FrameSource &source = frames.source();
    if (!source.isSequence() || source.framesFound() < 2) {
        if (error)
            *error = source.isSequence() ? QStringLiteral("needs a 3D video of two frames or more")
                                         : QStringLiteral("needs a 3D video");
        return NAN;
    }
    const auto [first, last] = frameWindow(frame, std::max(window, 2), source.framesFound());
    std::vector<float> spread, scratch;
    if (!frames.spread(first, last, spread, error))
        return NAN;
    return finiteMedian(spread.data(), int64_t(spread.size()), scratch);
}

QString seriesHeader(const std::vector<QPoint> &pixels) {
    QString header = QStringLiteral("frame,time");
    for (const QPoint &p : pixels)
        header += QStringLiteral(",depth(%1,%2)").arg(p.x()).arg(p.y());
    return header;
}

QString seriesLine(int32_t frame, double rate, const float *values, size_t count) {
    QString line =
        QString::number(frame) + QLatin1Char(',') + QString::number(rate > 0.0 ? frame / rate : 0.0, 'f', 6);
    for (size_t i = 0; i < count; ++i) {
        line += QLatin1Char(',');
        if (std::isfinite(values[i]))
            line += QString::number(double(values[i]), 'g', 7);
    }
    return line;
}
