#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class ScanFrameStore;

// Scan files as scanners that crash mid-write, full disks, other programs' exporters and the fuzz
// targets leave them, made by code: each with the name it is saved under (its ending picks the
// reader), whether it is a legal file that must load, and what a refusal must say (a part of it).
struct BrokenFile {
    QString name;
    QByteArray bytes;
    bool legal;
    QString reason;
};

// With everyCut, each good file also comes cut at every length, not only at a few.
QVector<BrokenFile> brokenFiles(bool everyCut = false);

// Opens a file the way the viewer does, by its ending, and builds what the view draws from it: a
// sequence shows the first frame playback shows. A refusal leaves the store as it was.
bool loadScanFile(ScanFrameStore &store, const QString &path, QString *error);
