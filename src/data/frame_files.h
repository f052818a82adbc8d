#pragma once

#include "data/frame_mesh.h"
#include "data/output_name.h"
#include "data/region.h"

#include <QString>

#include <cstdint>

class ScanFrameStore;

// Frames written one file each, as .xyzm, .pt or .ply by the ending of the name: the one place an
// ending picks a writer, for `pelnor convert`, the viewer's Save (of the frame on screen or of a
// range of a sequence) and Python's save. A raw frame is triangulated for the formats of
// coordinates, and a PLY gets the coordinate mesh, without its depth jumps when the settings hide them.
// A region set cuts the coordinates down to the points it keeps: an .xyzm marks the others unmeasured,
// a .ply holds only the points kept and the triangles between them. A .pt keeps the raw phase of the
// whole frame, which no region applies to.
class FrameFiles {
  public:
    // The endings of the formats a frame file can take.
    static bool writesEnding(const QString &ending);
    // Whether a region cuts files of the ending: those of coordinates, not a .pt.
    static bool cutsToRegion(const QString &ending);
    // Writes one frame to `path` in the format its ending names; the frame is only read (a raw frame
    // saved as coordinates is triangulated in a copy). The reason of a failure names no path.
    static bool saveFrame(const QString &path, const ScanFrameStore &frame, const MeshSettings &settings,
                          const Region &region, QString *error);

    explicit FrameFiles(const OutputName &name, const MeshSettings &settings = {}, const Region &region = {});

    // Makes the frame ready for its file: coordinates where the format takes them, cut to the region
    // (regionKeptNothing says when nothing is left), the mesh of a PLY.
    void shape(MeshedFrame &frame) const;
    // Writes the file of frame `frame`; the reason of a failure starts with the file's path.
    bool write(int32_t frame, const MeshedFrame &shaped, QString *error) const;

  private:
    OutputName m_name;
    QString m_ending;
    MeshSettings m_settings;
    Region m_region;
};
