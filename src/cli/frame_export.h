#pragma once

#include "data/frame_pipeline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <cstdint>

class FrameSource;

// The frames an export covers, by index in the file; -1 for a bound the user left to the file.
struct FrameSpan {
    int32_t first = -1;
    int32_t last = -1;
    int32_t count() const { return last - first + 1; }
};

extern const QCommandLineOption kFramesOption;

// --frame K and --frames A-B as OUT allows them: `many` (a numbered name or a video) takes a span
// and defaults to every frame, a single file takes one frame, default 0. Returns the usage
// problem, or empty.
QString frameSpanArguments(const QCommandLineParser &parser, bool many, FrameSpan *span);
// A --frames value, A-B or A: its problem, or empty.
QString frameRangeArgument(const QString &value, FrameSpan *span);
// Gives the bounds left open their defaults from the file, every frame it holds, and checks that the
// span lies within those frames; false with a reason naming them. A file holding fewer frames than its
// header promises is said once on standard error when the span was left to it.
bool fitFrameSpan(const FrameSource &source, const QString &path, FrameSpan *span, QString *error);

// Runs an export through a frame pipeline with a progress line, and tells the outcome: exit
// status 0, or 1 with one line naming the file and the frame that stopped it. The stages put
// "PATH: reason" into their error. `oneFile` names a single output that a failure drops whole (a
// video); otherwise the message tells which frames' files are written.
int exportFrames(const FrameSpan &span, const FramePipeline::Stage &prepare,
                 const FramePipeline::Stage &consume, const QString &oneFile = QString());
