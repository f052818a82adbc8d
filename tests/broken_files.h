#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class ScanFrameStore;
struct FrameMesh;
struct PtvHeader;

// Scan files as crashes, full disks and fuzzing leave them: the name to save under (its ending picks
// the reader), whether it must load, and a part of what a refusal must say.
struct BrokenFile {
    QString name;
    QByteArray bytes;
    bool legal;
    QString reason;
};

// A sequence of the header and framesWritten frames whose phases and texture bytes change from frame
// to frame; the first phase of each is `special`.
QByteArray ptvFile(const PtvHeader &header, int framesWritten, float special = 300.0f);

// Each good file also comes cut at every length.
QVector<BrokenFile> brokenFiles();

// Opens a file by its ending as the viewer does (a sequence at its first shown frame) and builds the
// mesh; a refusal leaves the store as it was.
bool loadScanFile(ScanFrameStore &store, FrameMesh &mesh, const QString &path, QString *error);
