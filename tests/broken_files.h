#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Scan files as scanners that crash mid-write, full disks and other programs' exporters leave
// them, made by code: each with the name it is saved under (its ending picks the reader) and
// whether it is a legal file that must load.
struct BrokenFile {
    QString name;
    QByteArray bytes;
    bool legal;
};

QVector<BrokenFile> brokenFiles();
