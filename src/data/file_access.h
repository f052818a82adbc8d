#pragma once

#include <QString>

// The system's error number for opening the file to read (ENOENT, EACCES, EISDIR, ...), or 0 when
// it opens: tells a scan that is not there, or not ours to read, from one that is there but broken.
int readAccessError(const QString &path);
