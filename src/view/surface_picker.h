#pragma once

#include <QMatrix4x4>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QVector3D>

#include <functional>
#include <optional>
#include <vector>

class QPainter;
class QRect;
class ScanFrameStore;
struct Region;
struct ViewMatrices;
struct ViewState;

// Up to two points picked on the surface. Each is held as the frame pixel that measured it, so a
// pick follows its pixel from frame to frame of a sequence; its point always comes from the frame's
// data, never from the depth buffer. The second pick measures the distance to the first.
class SurfacePicker {
  public:
    struct Pick {
        QPoint pixel;
        // Empty while the frame holds no measurement at the pixel.
        std::optional<QVector3D> point;
    };

    // Adds a pick at the pixel; a third pick starts again.
    void add(const QPoint &pixel, const ScanFrameStore &store);
    void clear() { m_picks.clear(); }
    // Takes the points of the picked pixels from the frame now in the store; a point the region
    // cuts away is none.
    void refresh(const ScanFrameStore &store, const Region &region);
    int count() const { return static_cast<int>(m_picks.size()); }
    const Pick &pick(int index) const { return m_picks.at(static_cast<size_t>(index)); }
    // Both picks measured: their distance; otherwise negative.
    double distance() const;

    // For the status bar: the point and pixel of one pick, the distance and its parts for two;
    // empty without picks.
    QString text(int decimals) const;
    // Markers and the measuring line over the picture; `toScreen` gives where the view draws a
    // measured point, or nothing where it cannot be drawn.
    void paint(QPainter &painter, const std::function<std::optional<QPointF>(const QVector3D &)> &toScreen,
               int decimals) const;

    // The model point drawn at framebuffer position `position` (pixels, y down) whose depth buffer
    // value is `depth`, unprojected with the matrices of the paint that drew it. Empty for the
    // background (depth 1) and for a projection that is not a perspective.
    static std::optional<QVector3D> unproject(QPointF position, float depth, QSize framebuffer,
                                              const QMatrix4x4 &projection, const QMatrix4x4 &view,
                                              const QMatrix4x4 &model);

    // The model point drawn nearest `at` (framebuffer pixels, y down) among `depths`, the depth buffer
    // of `block` read back (rows bottom up, as GL gives them), unprojected with the matrices of the
    // paint and the mirror blend of `state` undone. Empty where nothing is drawn in the block, or
    // half way through the mirror animation, where every depth is the same.
    static std::optional<QVector3D> modelPointNear(QPoint at, const QRect &block, const float *depths,
                                                   QSize framebuffer, const ViewMatrices &matrices,
                                                   const ViewState &state);
    // Where a picture of `size` shows a model point, with the mirror blend of `state` applied.
    static std::optional<QPointF> screenPoint(const QVector3D &point, const ViewMatrices &matrices,
                                              const ViewState &state, QSize size);
    // The twelve edges of the state's region over the picture, while it is set; an edge with an end
    // behind the eye is left out.
    static void paintRegion(QPainter &painter, const ViewMatrices &matrices, const ViewState &state,
                            QSize size);

  private:
    std::vector<Pick> m_picks;
};
