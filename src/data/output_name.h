#pragma once

#include <QString>

#include <cstdint>

// An output name that may carry a frame number, printf style: walk_%04d.ply or walk_%d.png. A
// numbered name stands for one file per frame, numbered by the frame's index in the file; %% is a
// percent sign.
class OutputName {
  public:
    // False, with a reason, for a name whose percent signs are neither one frame number nor %%.
    bool parse(const QString &name, QString *error);
    // A name that numbers the frames of `name`, four digits before its ending (walk.ply gives
    // walk_%04d.ply); a name that numbers them already is kept, and other percent signs stay signs.
    static QString numbering(const QString &name);
    bool numbered() const { return m_digits >= 0; }
    // The file of one frame; the name itself (with %% as %) when it carries no number.
    QString pathFor(int32_t frame) const;
    // The ending of the name, lower case, that names the format.
    QString ending() const;

  private:
    QString m_before;
    QString m_after;
    int m_digits = -1; // -1 no number, 0 %d, N %0Nd
};

// Readies the folder `file` goes into. The files of an export of many frames (a numbered name) or
// a video have their missing folders made, as such an export usually goes into a new folder; a
// single file's folder must exist already, so that a slip in its name is told, naming the folder,
// rather than a tree of folders made. False with the reason otherwise.
bool readyFolderOf(const QString &file, bool make, QString *error);
