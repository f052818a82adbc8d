#include "data/frame_files.h"

#include "data/binary_file.h"
#include "data/frame_mesh.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"

#include <QFileInfo>

namespace {

bool takesCoordinates(const QString &ending) {
    return ending != QLatin1String("pt");
}

// The writer the ending names, for a frame shaped for it.
bool writeShaped(const QString &path, const QString &ending, const ScanFrameStore &frame,
                 const FrameMesh &mesh, QString *error) {
    if (ending == QLatin1String("xyzm"))
        return writeXYZMFile(path, frame.xyz.get(), frame.rgbTexture.get(), frame.mask.get(), frame.width,
                             frame.height, error, nullptr);
    if (ending == QLatin1String("pt"))
        return savePtFile(frame, path, error);
    return writePlyFile(path, frame, mesh, error);
}

} // namespace

bool FrameFiles::writesEnding(const QString &ending) {
    return ending == QLatin1String("xyzm") || ending == QLatin1String("pt") || ending == QLatin1String("ply");
}

bool FrameFiles::cutsToRegion(const QString &ending) {
    return takesCoordinates(ending);
}

bool FrameFiles::saveFrame(const QString &path, const ScanFrameStore &frame, const MeshSettings &settings,
                           const Region &region, QString *error) {
    const QString ending = QFileInfo(path).suffix().toLower();
    if (!writesEnding(ending)) {
        if (error)
            *error = QStringLiteral("the name must end in .pt, .xyzm or .ply");
        return false;
    }
    if (!readyFolderOf(path, false, error))
        return false;
    try {
        OutputName name;
        name.parse(QString(path).replace(QLatin1Char('%'), QLatin1String("%%")), nullptr);
        const FrameFiles files(name, settings, region);
        MeshedFrame shaped;
        // A shared frame is triangulated or cut in a copy of its own.
        const bool copies = takesCoordinates(ending) && (frame.frameKind != XyzmFrame || region.isSet());
        if (copies) {
            shaped.frame = frame.duplicate();
            files.shape(shaped);
        } else if (ending == QLatin1String("ply")) {
            buildCoordinateMesh(frame, files.m_settings, shaped.mesh);
        }
        return writeShaped(path, ending, copies ? shaped.frame : frame, shaped.mesh, error);
    } catch (const std::bad_alloc &) {
        if (error)
            *error = outOfMemoryMessage(frame.width, frame.height);
        return false;
    }
}

FrameFiles::FrameFiles(const OutputName &name, const MeshSettings &settings, const Region &region)
    : m_name(name), m_ending(name.ending()), m_settings(settings), m_region(region) {
    // Files hold every pixel.
    m_settings.stride = 1;
}

void FrameFiles::shape(MeshedFrame &shaped) const {
    if (takesCoordinates(m_ending) && shaped.frame.frameKind != XyzmFrame)
        shaped.frame.computeCoordinatesFromPhase();
    shaped.regionKeptNothing = false;
    if (takesCoordinates(m_ending) && m_region.isSet())
        shaped.regionKeptNothing = cutToRegion(shaped.frame, m_region) == 0;
    if (m_ending == QLatin1String("ply"))
        buildCoordinateMesh(shaped.frame, m_settings, shaped.mesh);
}

bool FrameFiles::write(int32_t frame, const MeshedFrame &shaped, QString *error) const {
    const QString path = m_name.pathFor(frame);
    // Numbered files make their folders; a single file's folder must be there.
    const bool written = readyFolderOf(path, m_name.numbered(), error) &&
                         writeShaped(path, m_ending, shaped.frame, shaped.mesh, error);
    if (!written && error)
        *error = path + ": " + *error;
    return written;
}
