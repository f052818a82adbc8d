#pragma once

#include <QString>

// The ending of a text: what follows its last ".", lowercased (the whole text when it has none).
QString scanFileEnding(const QString &text);
// True for the endings the viewer opens: "xyzm", "pt" and "ptv".
bool isScanFileEnding(const QString &ending);
// The last component of a path: split at "/", or at "\" when the path holds no "/".
QString lastPathComponent(const QString &path);
