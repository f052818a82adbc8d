#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector3D>

struct ViewState;

// Where the camera stands, as a user places it: the turn, the pan, the zoom and the mirror. The
// framing and the eye come from the frame shown, so a view fits any frame of the same scanner. Small
// enough to keep by the dozen and to hand over as a few lines of text.
struct CameraView {
    // Degrees about the x, y and z axes, each within [-360, 360].
    QVector3D turn;
    // Pan in x and y, in the frame's units.
    float panX = 0.0f;
    float panY = 0.0f;
    // Towards the eye (positive) or away from it, in the frame's units.
    float zoom = 0.0f;
    bool mirrored = false;

    static CameraView of(const ViewState &state);
    // Turns, moves and mirrors `state` as the view says; the mirror is shown whole at once.
    void applyTo(ViewState &state) const;
    bool operator==(const CameraView &other) const;
    bool operator!=(const CameraView &other) const { return !(*this == other); }

    // The view as the fields of a JSON object: "turn" [x, y, z], "pan" [x, y], "zoom", "mirrored".
    QJsonObject toJson() const;
    // Reads those fields; false with the key and what is wrong with it (`where` names the object
    // the fields lie in, "camera" say, for the key), leaving the view as it was.
    bool fromJson(const QJsonObject &object, const QString &where, QString *problem);

    // A view on its own, as a person can read it and the clipboard and `pelnor render --view` take
    // it: the fields with a schema, a version and the units.
    QByteArray toText() const;
    // Reads such a text, or a file of it: false with the key and what is wrong, the view left as
    // it was.
    bool fromText(const QByteArray &text, QString *error);
    bool readFile(const QString &path, QString *error);
};

// The largest pan or zoom a view may hold, in the frame's units: anything beyond is a file gone wrong.
constexpr float kLargestViewShift = 1e7f;
