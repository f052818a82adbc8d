#include "render/color_legend.h"

#include "render/scene_numbers.h"
#include "render/view_state.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

struct ControlPoint {
    float edge;
    int r, g, b;
};

// The control points of the fragment program's ramps.
const ControlPoint kJet[] = {{0.0f, 0, 0, 131},     {0.125f, 0, 60, 170}, {0.375f, 5, 255, 255},
                             {0.625f, 255, 255, 0}, {0.875f, 250, 0, 0},  {1.0f, 128, 0, 0}};
const ControlPoint kMagma[] = {{0.0f, 0, 0, 4},       {0.13f, 28, 16, 68},    {0.25f, 79, 18, 123},
                               {0.38f, 129, 37, 129}, {0.5f, 181, 54, 122},   {0.63f, 229, 80, 100},
                               {0.75f, 251, 135, 97}, {0.88f, 254, 194, 135}, {1.0f, 252, 253, 191}};
const ControlPoint kViridis[] = {{0.0f, 68, 1, 84},     {0.13f, 71, 44, 122},  {0.25f, 59, 81, 139},
                                 {0.38f, 44, 113, 142}, {0.5f, 33, 144, 141},  {0.63f, 39, 173, 129},
                                 {0.75f, 92, 200, 99},  {0.88f, 170, 220, 50}, {1.0f, 253, 231, 37}};

// Smooth (Hermite) blend between the two control points around x, as the fragment program does.
template <size_t N> QColor ramp(const ControlPoint (&points)[N], float x) {
    for (size_t i = 0; i + 1 < N; ++i) {
        const ControlPoint &a = points[i], &b = points[i + 1];
        if (x > b.edge && i + 2 < N)
            continue;
        const float t = std::clamp((x - a.edge) / (b.edge - a.edge), 0.0f, 1.0f);
        const float s = t * t * (3.0f - 2.0f * t);
        auto mix = [s](int low, int high) { return static_cast<int>(std::lround(low + (high - low) * s)); };
        return QColor(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
    }
    return QColor(points[N - 1].r, points[N - 1].g, points[N - 1].b);
}

constexpr int kMargin = 12;
constexpr int kRampWidth = 14;
constexpr int kTitleSpace = 26;
// Keeps a tick's label clear of the labels at the ends.
constexpr int kTickClearance = 14;
constexpr int kFontPixels = 12;

} // namespace

bool ColorLegend::coloursByDepth(int materialType) {
    return materialType >= Depth && materialType <= Viridis;
}

bool ColorLegend::hasScale(int materialType) {
    return coloursByDepth(materialType) || materialType == Change || materialType == Noise;
}

QColor ColorLegend::valueColor(int materialType, float value, float range, float neutral) {
    if (materialType == Noise)
        return ramp(kViridis, std::clamp(value / std::max(range, 1e-20f), 0.0f, 1.0f));
    // As the fragment program's changeColour.
    const float t = std::clamp((std::fabs(value) - neutral) / std::max(range - neutral, 1e-20f), 0.0f, 1.0f);
    const bool nearer = value < 0.0f;
    const ControlPoint side[] = {{0.0f, 236, 236, 236},
                                 nearer ? ControlPoint{0.5f, 120, 172, 222}
                                        : ControlPoint{0.5f, 238, 150, 110},
                                 nearer ? ControlPoint{1.0f, 16, 64, 156} : ControlPoint{1.0f, 164, 16, 32}};
    const ControlPoint &a = side[t < 0.5f ? 0 : 1], &b = side[t < 0.5f ? 1 : 2];
    const float s = 2.0f * (t < 0.5f ? t : t - 0.5f);
    auto mix = [s](int low, int high) { return static_cast<int>(std::lround(low + (high - low) * s)); };
    return QColor(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
}

void ColorLegend::setValueRange(float range, float neutral) {
    m_valueRange = range;
    m_neutral = neutral;
}

ColorLegend::Scale ColorLegend::scaleOf(int materialType) const {
    if (materialType == Change)
        return {m_valueRange, -m_valueRange, QStringLiteral("change (units)"), QStringLiteral("farther "),
                QStringLiteral("nearer ")};
    if (materialType == Noise)
        return {m_valueRange, 0.0, QStringLiteral("noise (units)"), QString(), QString()};
    return {topDepth(), bottomDepth(), QStringLiteral("depth (units)"), QString(), QString()};
}

QColor ColorLegend::colourAt(int materialType, double value) const {
    if (coloursByDepth(materialType))
        return rampColor(materialType, depthValue(value));
    return valueColor(materialType, float(value), m_valueRange, m_neutral);
}

QColor ColorLegend::rampColor(int materialType, float depthValue) {
    const float x = std::clamp(depthValue, 0.0f, 1.0f);
    switch (materialType) {
    case 3:
        return ramp(kJet, x);
    case 4:
        return ramp(kMagma, x);
    case 5:
        return ramp(kViridis, x);
    default: {
        const int grey = static_cast<int>(std::lround(255.0f * x));
        return QColor(grey, grey, grey);
    }
    }
}

void ColorLegend::setRange(float lowEnd, float highEnd) {
    m_lowEnd = lowEnd;
    m_highEnd = highEnd;
}

float ColorLegend::bottomDepth() const {
    return std::min(m_lowEnd, m_highEnd);
}

float ColorLegend::topDepth() const {
    return std::max(m_lowEnd, m_highEnd);
}

float ColorLegend::depthValue(double depth) const {
    const double span = static_cast<double>(m_highEnd) - m_lowEnd;
    if (span == 0.0)
        return 0.5f;
    return static_cast<float>(std::clamp(1.0 - (depth - m_lowEnd) / span, 0.0, 1.0));
}

QVector<double> ColorLegend::ticks() const {
    return ticksBetween(bottomDepth(), topDepth());
}

QVector<double> ColorLegend::ticksBetween(double low, double high) {
    const double span = high - low;
    QVector<double> values;
    if (!(span > 0.0) || !std::isfinite(span))
        return values;
    // The first of 1, 2, 5 and 10 times a power of ten that gives at most four steps.
    const double magnitude = std::pow(10.0, std::floor(std::log10(span / 4.0)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * magnitude;
        if (span / step <= 4.0)
            break;
    }
    for (double value = std::floor(low / step + 1.0) * step; value < high; value += step)
        values << value;
    return values;
}

QRect ColorLegend::rampRect(QSize view) {
    const int height = std::clamp(view.height() * 2 / 5, 60, 260);
    return QRect(view.width() - kMargin - kRampWidth, kMargin + kTitleSpace, kRampWidth, height);
}

int ColorLegend::rowOf(double depth, QSize view) const {
    return rowAt(depth, scaleOf(Depth), view);
}

int ColorLegend::rowAt(double value, const Scale &scale, QSize view) {
    const QRect ramp = rampRect(view);
    const double span = scale.top - scale.bottom;
    const double fraction = span > 0.0 ? (scale.top - value) / span : 0.5;
    return ramp.top() + static_cast<int>(std::lround(fraction * (ramp.height() - 1)));
}

void ColorLegend::paint(QPainter &painter, QSize view, int materialType, int decimals) const {
    const QRect ramp = rampRect(view);
    painter.save();
    // Sized in pixels like the rest of the legend, so that the view on any screen and a render on
    // the offscreen platform draw the same legend.
    QFont font = painter.font();
    font.setPixelSize(kFontPixels);
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    const Scale scale = scaleOf(materialType);
    const QString top = scale.topName + sceneNumber(scale.top, decimals),
                  bottom = scale.bottomName + sceneNumber(scale.bottom, decimals);
    const QString &title = scale.title;
    QVector<double> inner = ticksBetween(scale.bottom, scale.top);
    const double step = inner.size() > 1 ? inner[1] - inner[0] : 1.0;
    const int tickDecimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    int labelWidth = std::max(metrics.horizontalAdvance(top), metrics.horizontalAdvance(bottom));
    for (double value : inner)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(sceneNumber(value, tickDecimals)));

    const int labelRight = ramp.left() - 8;
    const int boxLeft = std::min({labelRight - labelWidth, ramp.right() - metrics.horizontalAdvance(title),
                                  ramp.right() - metrics.horizontalAdvance(m_note)}) -
                        8;
    // The note has a line of its own under the ramp's last label.
    const int noteTop = ramp.bottom() + metrics.height() / 2 + 2;
    const QRect box(QPoint(boxLeft, kMargin - 4),
                    QPoint(ramp.right() + 6, m_note.isEmpty() ? ramp.bottom() + metrics.height()
                                                              : noteTop + metrics.height() + 2));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(box, QColor(0, 0, 0, 150));
    for (int y = 0; y < ramp.height(); ++y) {
        const double fraction = ramp.height() > 1 ? double(y) / (ramp.height() - 1) : 0.5;
        const double value = scale.top - fraction * (scale.top - scale.bottom);
        painter.fillRect(ramp.left(), ramp.top() + y, ramp.width(), 1, colourAt(materialType, value));
    }
    painter.setPen(QColor(230, 230, 230));
    painter.drawRect(ramp.adjusted(-1, -1, 0, 0));
    painter.drawText(QRect(box.left(), kMargin, ramp.right() - box.left(), kTitleSpace - 6),
                     Qt::AlignRight | Qt::AlignVCenter, title);
    auto label = [&](double value, const QString &text) {
        const int y = rowAt(value, scale, view);
        painter.drawLine(ramp.left() - 5, y, ramp.left() - 2, y);
        painter.drawText(
            QRect(labelRight - labelWidth, y - metrics.height() / 2, labelWidth, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, text);
    };
    if (!m_note.isEmpty())
        painter.drawText(QRect(box.left(), noteTop, ramp.right() - box.left(), metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, m_note);
    label(scale.top, top);
    label(scale.bottom, bottom);
    for (double value : inner) {
        const int y = rowAt(value, scale, view);
        if (y - ramp.top() >= kTickClearance && ramp.bottom() - y >= kTickClearance)
            label(value, sceneNumber(value, tickDecimals));
    }
    painter.restore();
}
