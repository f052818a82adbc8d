#include "view/surface_picker.h"

#include "geometry/measured_point.h"
#include "render/scene_numbers.h"
#include "render/view_state.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <limits>

void SurfacePicker::add(const QPoint &pixel, const ScanFrameStore &store) {
    if (m_picks.size() >= 2)
        m_picks.clear();
    m_picks.push_back({pixel, measuredPoint(store, pixel.x(), pixel.y())});
}

void SurfacePicker::refresh(const ScanFrameStore &store, const Region &region) {
    const RegionTest test(region);
    for (Pick &pick : m_picks) {
        pick.point = measuredPoint(store, pick.pixel.x(), pick.pixel.y());
        if (pick.point && !test.keeps(*pick.point))
            pick.point.reset();
    }
}

namespace {

// From the first pick to the second, in double: two finite points far apart on either side of the
// origin have a difference beyond the largest float.
std::array<double, 3> difference(const QVector3D &from, const QVector3D &to) {
    return {double(to.x()) - double(from.x()), double(to.y()) - double(from.y()),
            double(to.z()) - double(from.z())};
}

} // namespace

double SurfacePicker::distance() const {
    if (m_picks.size() != 2 || !m_picks[0].point || !m_picks[1].point)
        return -1.0;
    const std::array<double, 3> d = difference(*m_picks[0].point, *m_picks[1].point);
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

QString SurfacePicker::text(int decimals) const {
    auto pixel = [](const QPoint &p) { return QStringLiteral("pixel (%1, %2)").arg(p.x()).arg(p.y()); };
    auto number = [decimals](float value) { return sceneNumber(value, decimals); };
    auto missing = [&](const Pick &pick) {
        return QStringLiteral("nothing measured at %1 in this frame").arg(pixel(pick.pixel));
    };
    if (m_picks.empty())
        return QString();
    if (m_picks.size() == 1) {
        const Pick &pick = m_picks[0];
        if (!pick.point)
            return QStringLiteral("Point: ") + missing(pick);
        const QVector3D &p = *pick.point;
        return QStringLiteral("Point x %1  y %2  z %3 units at %4")
            .arg(number(p.x()), number(p.y()), number(p.z()), pixel(pick.pixel));
    }
    for (const Pick &pick : m_picks)
        if (!pick.point)
            return QStringLiteral("Distance: ") + missing(pick);
    const std::array<double, 3> d = difference(*m_picks[0].point, *m_picks[1].point);
    return QStringLiteral("Distance %1 units  (dx %2  dy %3  dz %4) from %5 to %6")
        .arg(sceneNumber(distance(), decimals), sceneNumber(d[0], decimals), sceneNumber(d[1], decimals),
             sceneNumber(d[2], decimals), pixel(m_picks[0].pixel), pixel(m_picks[1].pixel));
}

void SurfacePicker::paint(QPainter &painter,
                          const std::function<std::optional<QPointF>(const QVector3D &)> &toScreen,
                          int decimals) const {
    std::vector<QPointF> shown;
    for (const Pick &pick : m_picks)
        if (pick.point)
            if (const std::optional<QPointF> at = toScreen(*pick.point))
                shown.push_back(*at);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Dark under light: the marks stay visible on every colouring.
    if (shown.size() == 2 && distance() >= 0.0) {
        for (const auto &[colour, width] :
             {std::pair{QColor(0, 0, 0, 200), 4.0}, {QColor(255, 214, 10), 2.0}}) {
            painter.setPen(QPen(colour, width));
            painter.drawLine(shown[0], shown[1]);
        }
        const QString label = sceneNumber(distance(), decimals) + QStringLiteral(" units");
        const QPointF middle = (shown[0] + shown[1]) / 2.0 + QPointF(8, -8);
        QPainterPath path;
        path.addText(middle, painter.font(), label);
        painter.setPen(QPen(QColor(0, 0, 0, 220), 3.0));
        painter.drawPath(path);
        painter.fillPath(path, QColor(255, 214, 10));
    }
    for (const QPointF &at : shown) {
        painter.setPen(QPen(QColor(0, 0, 0, 220), 4.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, 5.0, 5.0);
        painter.setPen(QPen(Qt::white, 2.0));
        painter.drawEllipse(at, 5.0, 5.0);
        painter.drawPoint(at);
    }
    painter.restore();
}

std::optional<QVector3D> SurfacePicker::unproject(QPointF position, float depth, QSize framebuffer,
                                                  const QMatrix4x4 &projection, const QMatrix4x4 &view,
                                                  const QMatrix4x4 &model) {
    if (!(depth < 1.0f) || framebuffer.isEmpty() || projection(3, 2) != -1.0f || projection(3, 3) != 0.0f)
        return std::nullopt;
    // Centre of the framebuffer pixel in normalised device coordinates, y up.
    const double x = 2.0 * (position.x() + 0.5) / framebuffer.width() - 1.0;
    const double y = 1.0 - 2.0 * (position.y() + 0.5) / framebuffer.height();
    const double z = 2.0 * static_cast<double>(depth) - 1.0;
    // The perspective divides by -z of the eye: solve its three rows in double, where the depth
    // buffer's fraction near 1 would lose the depth in single precision.
    const double eyeZ = -static_cast<double>(projection(2, 3)) / (z + projection(2, 2));
    const double eyeX = (x * -eyeZ - projection(0, 2) * eyeZ) / projection(0, 0);
    const double eyeY = (y * -eyeZ - projection(1, 2) * eyeZ) / projection(1, 1);
    bool invertible = false;
    const QMatrix4x4 toModel = (view * model).inverted(&invertible);
    if (!invertible || !std::isfinite(eyeZ))
        return std::nullopt;
    return toModel.map(
        QVector3D(static_cast<float>(eyeX), static_cast<float>(eyeY), static_cast<float>(eyeZ)));
}

std::optional<QVector3D> SurfacePicker::modelPointNear(QPoint at, const QRect &block, const float *depths,
                                                       QSize framebuffer, const ViewMatrices &matrices,
                                                       const ViewState &state) {
    QPoint nearest;
    float depth = 1.0f;
    int nearestDistance = std::numeric_limits<int>::max();
    for (int row = 0; row < block.height(); ++row) {
        for (int column = 0; column < block.width(); ++column) {
            const float d = depths[static_cast<size_t>(row * block.width() + column)];
            // Rows come bottom up from GL.
            const QPoint texel(block.left() + column, block.bottom() - row);
            const int distance = (texel - at).manhattanLength();
            if (d < 1.0f && distance < nearestDistance) {
                nearestDistance = distance;
                nearest = texel;
                depth = d;
            }
        }
    }
    std::optional<QVector3D> drawn =
        unproject(QPointF(nearest), depth, framebuffer, matrices.projection, matrices.view, matrices.model);
    // The mirror blend turns depths about the centre's depth; half way through every depth is the same.
    const float p = state.mirrorBlend, c = state.framing.centre.z();
    if (!drawn || std::fabs(1.0f - 2.0f * p) <= 0.05f)
        return std::nullopt;
    drawn->setZ((drawn->z() - 2.0f * p * c) / (1.0f - 2.0f * p));
    return drawn;
}

std::optional<QPointF> SurfacePicker::screenPoint(const QVector3D &point, const ViewMatrices &matrices,
                                                  const ViewState &state, QSize size) {
    const float p = state.mirrorBlend, c = state.framing.centre.z();
    const QVector4D drawn(point.x(), point.y(), p * (2.0f * c - point.z()) + (1.0f - p) * point.z(), 1.0f);
    const QVector4D clip = matrices.projection * matrices.view * matrices.model * drawn;
    if (!(clip.w() > 0.0f))
        return std::nullopt;
    return QPointF((clip.x() / clip.w() + 1.0f) / 2.0f * size.width(),
                   (1.0f - clip.y() / clip.w()) / 2.0f * size.height());
}

void SurfacePicker::paintRegion(QPainter &painter, const ViewMatrices &matrices, const ViewState &state,
                                QSize size) {
    if (!state.region.isSet())
        return;
    const QMatrix4x4 toWorld = state.region.boxToWorld();
    std::array<std::optional<QPointF>, 8> corners;
    for (int k = 0; k < 8; ++k)
        corners[static_cast<size_t>(k)] = screenPoint(
            toWorld.map(QVector3D(k & 1 ? 1.0f : -1.0f, k & 2 ? 1.0f : -1.0f, k & 4 ? 1.0f : -1.0f)),
            matrices, state, size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Dark under light, as the picks: the outline stays visible on every colouring.
    for (const auto &[colour, width] : {std::pair{QColor(0, 0, 0, 160), 3.0}, {QColor(90, 200, 255), 1.5}}) {
        painter.setPen(QPen(colour, width));
        // Corners k and k with one bit flipped share an edge.
        for (int k = 0; k < 8; ++k)
            for (int bit = 1; bit < 8; bit <<= 1) {
                const auto &a = corners[static_cast<size_t>(k)], &b = corners[static_cast<size_t>(k | bit)];
                if (!(k & bit) && a && b)
                    painter.drawLine(*a, *b);
            }
    }
    painter.restore();
}
