#include "view/surface_picker.h"

#include "geometry/measured_point.h"
#include "render/scene_numbers.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

void SurfacePicker::add(const QPoint &pixel, const ScanFrameStore &store) {
    if (m_picks.size() >= 2)
        m_picks.clear();
    m_picks.push_back({pixel, measuredPoint(store, pixel.x(), pixel.y())});
}

void SurfacePicker::refresh(const ScanFrameStore &store) {
    for (Pick &pick : m_picks)
        pick.point = measuredPoint(store, pick.pixel.x(), pick.pixel.y());
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
