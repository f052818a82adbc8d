// Writes the broken-file table of the C++ tests into a folder for the Python tests, with index.tsv:
// a line a file with its name, 1 when it must open (else 0), and a part of what a refusal must say.
#include "broken_files.h"
#include "test_support.h"

#include <QDir>

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QByteArray index;
    for (const BrokenFile &file : brokenFiles()) {
        writeAll(dir.filePath(file.name), file.bytes);
        index += (file.name + '\t' + QString::number(file.legal) + '\t' + file.reason + '\n').toUtf8();
    }
    writeAll(dir.filePath("index.tsv"), index);
    return 0;
}
