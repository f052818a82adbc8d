#pragma once

#include <QProcess>
#include <QTemporaryDir>

// What a program that ran to its end said; status -1 when it could not start or crashed.
struct Run {
    int status = -1;
    QString out;
    QString err;
};

inline Run run(const QString &program, const QStringList &arguments,
               QProcessEnvironment environment = QProcessEnvironment::systemEnvironment()) {
    // llvmpipe keeps blocks of its compiled shaders to the end; they are not the tool's leaks.
    if (arguments.contains("render"))
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(300000);
    Run result;
    if (process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

#ifdef PELNOR_BIN
// This build's tool.
inline Run pelnor(const QStringList &arguments,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    return run(PELNOR_BIN, arguments, environment);
}
#endif
