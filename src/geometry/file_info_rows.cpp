#include "geometry/file_info_rows.h"

#include "data/scan_frame_store.h"
#include "geometry/frame_camera.h"

namespace {

QString number(float value) {
    return QString::number(static_cast<double>(value), 'g', 6);
}

QString range(float low, float high) {
    return "[ " + number(low) + " , " + number(high) + " ]";
}

} // namespace

QVector<QPair<QString, QString>> fileInfoRows(const ScanFrameStore &store, const Region &region) {
    // Facts of every measured pixel, not the view's framing estimates.
    return fileInfoRows(store, store.measureSurface(region), region);
}

QVector<QPair<QString, QString>> fileInfoRows(const ScanFrameStore &store, const SurfaceFacts &facts,
                                              const Region &region) {
    const QVector3D &lo = facts.min, &hi = facts.max, &c = facts.mean;
    const bool cut = region.isSet();
    // The facts of a region are not those of the frame: each label says which it gives.
    const auto label = [cut](const char *text) {
        return QString::fromLatin1(text) + (cut ? QStringLiteral(" in region:") : QStringLiteral(":"));
    };
    QVector<QPair<QString, QString>> rows = {
        {QStringLiteral("File name:"), store.fileName},
        {QStringLiteral("File path:"), store.filePath},
        {QStringLiteral("Frame width:"), QString::number(store.width)},
        {QStringLiteral("Frame height:"), QString::number(store.height)},
        {QStringLiteral("Frame size:"), QString::number(store.pixelCount)},
        {label("Valid coordinates"), QString::number(facts.validCount)},
        {label("X Range"), range(lo.x(), hi.x())},
        {label("Y Range"), range(lo.y(), hi.y())},
        {label("Z Range"), range(lo.z(), hi.z())},
        // The table has always written ", " before z here; users compare against it.
        {label("Center of Mass"), "[ " + number(c.x()) + " , " + number(c.y()) + ", " + number(c.z()) + " ]"},
    };
    // Hiding depth jumps and the framing then take the frame's z for the distance from the camera.
    if (facts.validCount > 0 && !frameCamera(store).found())
        rows.push_back({QStringLiteral("Depth:"), QStringLiteral("along z, no camera found in the frame")});
    if (cut)
        rows.append({QStringLiteral("Region:"), QStringLiteral("the points ") + region.describe()});
    return rows;
}
