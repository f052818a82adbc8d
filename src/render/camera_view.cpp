#include "render/camera_view.h"

#include "data/sectioned_json.h"
#include "render/view_state.h"

#include <QJsonArray>

#include <cmath>

namespace {

constexpr int kViewVersion = 1;

SectionedJson viewDocument() {
    return SectionedJson(QStringLiteral("pelnor-view"), kViewVersion,
                         QJsonObject{{QStringLiteral("turn"), QStringLiteral("degrees about x, y and z")},
                                     {QStringLiteral("pan"), QStringLiteral("the scan's units")},
                                     {QStringLiteral("zoom"), QStringLiteral("the scan's units")}});
}

// Reads `count` numbers of an array, each finite and within `largest` in size.
bool numbersOf(const QJsonValue &value, int count, double largest, float *out) {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != count)
        return false;
    for (int i = 0; i < count; ++i) {
        const double number = array.at(i).toDouble(NAN);
        if (!array.at(i).isDouble() || !std::isfinite(number) || std::fabs(number) > largest)
            return false;
        out[i] = static_cast<float>(number);
    }
    return true;
}

} // namespace

CameraView CameraView::of(const ViewState &state) {
    CameraView view;
    view.turn = state.rotation;
    view.panX = state.translation.x();
    view.panY = state.translation.y();
    view.zoom = state.translation.z();
    view.mirrored = state.mirrored;
    return view;
}

void CameraView::applyTo(ViewState &state) const {
    for (int axis = 0; axis < 3; ++axis)
        state.rotation[axis] = static_cast<float>(std::fmod(static_cast<double>(turn[axis]), 360.0));
    state.translation = QVector3D(panX, panY, zoom);
    state.mirrored = mirrored;
    state.mirrorBlend = mirrored ? 1.0f : 0.0f;
}

bool CameraView::operator==(const CameraView &other) const {
    return turn == other.turn && panX == other.panX && panY == other.panY && zoom == other.zoom &&
           mirrored == other.mirrored;
}

QJsonObject CameraView::toJson() const {
    return {
        {QStringLiteral("turn"), QJsonArray{jsonFloat(turn.x()), jsonFloat(turn.y()), jsonFloat(turn.z())}},
        {QStringLiteral("pan"), QJsonArray{jsonFloat(panX), jsonFloat(panY)}},
        {QStringLiteral("zoom"), jsonFloat(zoom)},
        {QStringLiteral("mirrored"), mirrored}};
}

bool CameraView::fromJson(const QJsonObject &object, const QString &where, QString *problem) {
    CameraView read;
    float turnDegrees[3] = {}, pan[2] = {};
    const auto wrong = [&](const char *key, const QString &what) {
        *problem = QStringLiteral("'%1': %2").arg(jsonKey(where, QLatin1String(key)), what);
        return false;
    };
    if (!numbersOf(object.value(QStringLiteral("turn")), 3, 360.0, turnDegrees))
        return wrong("turn", QStringLiteral("three angles in degrees from -360 to 360 are needed"));
    if (!numbersOf(object.value(QStringLiteral("pan")), 2, kLargestViewShift, pan))
        return wrong("pan", QStringLiteral("two finite lengths of at most 1e7 in size are needed"));
    float zoom = 0.0f;
    if (!numbersOf(QJsonArray{object.value(QStringLiteral("zoom"))}, 1, kLargestViewShift, &zoom))
        return wrong("zoom", QStringLiteral("a finite length of at most 1e7 in size is needed"));
    const QJsonValue mirror = object.value(QStringLiteral("mirrored"));
    if (!mirror.isBool() && !mirror.isUndefined())
        return wrong("mirrored", QStringLiteral("true or false is needed"));
    read.turn = QVector3D(turnDegrees[0], turnDegrees[1], turnDegrees[2]);
    read.panX = pan[0];
    read.panY = pan[1];
    read.zoom = zoom;
    read.mirrored = mirror.toBool(false);
    *this = read;
    return true;
}

QByteArray CameraView::toText() const {
    SectionedJson document = viewDocument();
    const QJsonObject fields = toJson();
    for (auto it = fields.begin(); it != fields.end(); ++it)
        document.setSection(it.key(), it.value());
    return document.text();
}

bool CameraView::fromText(const QByteArray &text, QString *error) {
    SectionedJson document = viewDocument();
    return document.parse(text, error) && fromJson(document.root(), QString(), error);
}

bool CameraView::readFile(const QString &path, QString *error) {
    SectionedJson document = viewDocument();
    return document.readFile(path, error) && fromJson(document.root(), QString(), error);
}
