#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

class ScanFrameStore;
struct Region;

// What a file's header said beyond the frame itself, for `info`.
struct HeaderFacts {
    QStringList lines;
};

// "pelnor: message", where to find the command's help, and exit status 2 for wrong arguments.
int usageError(const QCommandLineParser &parser, const QString &message);
// "pelnor: FILE: reason" and exit status 1 for a file that cannot be read or written.
int fileError(const QString &path, const QString &reason);
// Parses a command's arguments, its name first (the first positional argument, unlisted in the
// help), then the positional arguments `positionals` names; returns -1 to go on, else the exit
// status. A bare --hide-jumps is given its default factor first.
int parse(QCommandLineParser &parser, const QStringList &arguments, const QStringList &positionals);

extern const QCommandLineOption kFrameOption;
// --frame as a frame's index in the file, 0 when not given; false for a value that is no index.
bool frameNumber(const QCommandLineParser &parser, int *frame);
// "WxH" with both at least 1.
bool parseSize(const QString &text, int *width, int *height);

// --hide-jumps [K]: leave out the triangles that join surfaces at different depths, an edge spanning
// more than K pixel footprints (default 5) being a jump.
extern const QCommandLineOption kHideJumpsOption;
// What is wrong with a factor --hide-jumps refuses.
extern const QString kJumpFactorProblem;
// The factor of --hide-jumps; false for one that is no number above 0.
bool jumpFactorOf(const QString &value, float *factor);
// Reads --hide-jumps; false for a factor that is no number above 0.
bool takeHideJumps(const QCommandLineParser &parser, bool *hide, float *factor);

// --region X0,Y0,Z0,X1,Y1,Z1 and --region-outside: the axis-aligned box between two opposite corners,
// keeping what lies inside it or what lies outside.
extern const QCommandLineOption kRegionOption;
extern const QCommandLineOption kRegionOutsideOption;
// The region an option's value gives (`inside` for --region); the problem with one it refuses, or empty.
QString regionOf(const QString &value, bool inside, Region *region);
// Reads whichever of the two is given; a region not set when neither is. The problem, or empty.
QString takeRegion(const QCommandLineParser &parser, Region *region);
// "pelnor: PATH: the region keeps no point of frame K", on standard error.
void sayRegionKeptNothing(int frame, const QString &path);

// Loads a scan file by its ending as the viewer opens it; for a sequence, frame `frame` (its index
// in the file) is decoded as playback decodes it. A single-frame file holds frame 0 only.
bool loadScan(ScanFrameStore &store, const QString &path, int frame, QString *error, HeaderFacts *facts);
// The statistics of the loaded frame, as the viewer's sequence model computes them.
void computeFrameStatistics(ScanFrameStore &store);
