#pragma once

#include <QString>

#include <cstdio>

class ScanFrameStore;
struct PtHeader;

// The kinds of scan file, told apart by the ending of the name.
enum class ScanFormat { Unknown, Xyzm, Pt, Ptv };

// The format a file name's ending names, in any case: .xyzm, .pt or .ptv.
ScanFormat scanFormatOf(const QString &path);

// Reads a single-frame file (.xyzm or .pt) into the store with the reader its ending picks. A failed
// load leaves the store as it was; a sequence or any other ending is refused. `ptHeader`, when
// given, receives a capture's header; the XYZM reader's outcome line goes to `xyzmLog` unless null.
bool loadFrameFile(ScanFrameStore &store, const QString &path, QString *error, PtHeader *ptHeader = nullptr,
                   std::FILE *xyzmLog = nullptr);
