#pragma once

#include "data/region.h"
#include "data/sectioned_json.h"
#include "render/camera_view.h"
#include "render/depth_colors.h"

#include <QPoint>
#include <QString>
#include <QVector>

#include <cstdint>
#include <map>
#include <optional>

// The colour scale a session keeps: where the range comes from, and the range on screen then.
struct SessionColours {
    DepthScale scale = DepthScale::FirstFrame;
    float nearDepth = 0.0f;
    float farDepth = 0.0f;
    // A whole video's range not yet measured when the session was written: measured again.
    bool provisional = false;
};

// What the Change colouring compared with: a frame set (frame 0 or more), or the mean of the first
// meanFrames frames (1 or more); the frame before each frame needs no keeping.
struct SessionReference {
    int32_t frame = -1;
    int32_t meanFrames = 0;
    bool operator==(const SessionReference &other) const {
        return frame == other.frame && meanFrames == other.meanFrames;
    }
};

// A view kept under a number, with the name a user gave it (empty for none).
struct NamedView {
    QString name;
    CameraView camera;
};

// What a user set up for one scan, to find it as it was left: the views kept under 1 to 9, the view
// on screen, the colour scale, the region, the pinned pixels and the change's reference. Written as a
// sectioned JSON document ("schema": "pelnor-session") whose every known section is checked before any of it
// is taken; sections this program does not know, and keys it does not know within those it does, are written
// back as they were read.
//
// A new section is a member here, a reader and a writer in scan_session.cpp, and one row of the
// table there (kSections); what it holds is checked when the document is read, so that a front end
// only ever sees a session whole.
class ScanSession {
  public:
    static constexpr int kViewNumbers = 9;

    ScanSession();

    // Kept under 1 to kViewNumbers.
    std::map<int, NamedView> views;
    // The view on screen when the scan was left.
    std::optional<CameraView> camera;
    std::optional<SessionColours> colours;
    // The region of interest the scan was cut to.
    std::optional<Region> region;
    // Pixels pinned for their depth over time (column, row), in the order they were pinned.
    static constexpr int kMostPins = 8;
    QVector<QPoint> pins;
    std::optional<SessionReference> reference;
    // The file the session was made for, for a person reading it and to tell whether a range
    // measured from it still holds: its name and size in bytes (-1 unknown).
    QString scanName;
    int64_t scanBytes = -1;

    // Takes a document: false with the key and what is wrong with it, the session left as it was.
    bool parse(const QByteArray &text, QString *error);
    // Reads a file; the reason names the key, not the file.
    bool readFile(const QString &path, QString *error);
    QByteArray text() const;
    // Written whole or not at all.
    bool writeFile(const QString &path, QString *error) const;
    // Holds nothing a user set up, nothing worth a file: no views, the camera at rest, the colours
    // as at first, and no document read.
    bool holdsNothing() const;
    // The document as read, with the sections of later features and of newer programs.
    const SectionedJson &document() const { return m_document; }

  private:
    SectionedJson m_document;
};
