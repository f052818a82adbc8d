#include "sample/sample_files.h"
#include "test_support.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QtTest>

#include <algorithm>

namespace {

struct Run {
    int status = -1;
    QString out;
};

// Runs a program to its end; status -1 when it could not start or crashed.
Run run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(300000);
    Run result;
    if (process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAll());
    return result;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// The value of a key in a desktop or thumbnailer entry, which hold one group each.
QString entryValue(const QString &path, const QString &key) {
    for (const QString &line : QString::fromUtf8(readAll(path)).split('\n')) {
        if (line.startsWith(key + "="))
            return line.mid(key.size() + 1);
    }
    return {};
}

QStringList entryTypes(const QString &path) {
    return sorted(entryValue(path, "MimeType").split(';', Qt::SkipEmptyParts));
}

} // namespace

// The programs installed as a desktop installs them: a tree under DESTDIR and the Debian package,
// both made once from this build.
class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString root;  // the DESTDIR tree
    QString share; // its data folder, where desktops look for entries, types and icons
    QString package;
    QStringList packageFiles;

    // A session without a screen whose desktop knows only the installed tree, so nothing the
    // machine itself has installed can answer in its place.
    QProcessEnvironment desktopEnvironment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_CURRENT_DESKTOP",
                                 "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
            environment.remove(name);
        environment.insert("XDG_DATA_HOME", share);
        environment.insert("XDG_DATA_DIRS", share);
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        environment.insert("PATH", root + "/usr/bin:" + environment.value("PATH"));
        return environment;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        root = dir.filePath("root");
        share = root + "/usr/share";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", root);
        Run install = run("cmake", {"--install", PELNOR_BUILD_DIR, "--prefix", "/usr"}, environment);
        QVERIFY2(install.status == 0, qPrintable(install.out));

        Run pack = run("cpack", {"-G", "DEB", "--config", PELNOR_BUILD_DIR "/CPackConfig.cmake", "-B",
                                 dir.filePath("package")});
        QVERIFY2(pack.status == 0, qPrintable(pack.out));
        const QStringList debs = QDir(dir.filePath("package")).entryList({"pelnor-viewer_*.deb"});
        QCOMPARE(debs.size(), 1);
        package = dir.filePath("package/" + debs.first());
        const Run listing = run("dpkg-deb", {"-c", package});
        QCOMPARE(listing.status, 0);
        for (const QString &line : listing.out.split('\n', Qt::SkipEmptyParts))
            packageFiles << line.section("./", -1);

        // What the package leaves to the system's triggers, done here on the tree.
        for (const QStringList &update : {QStringList{"update-mime-database", share + "/mime"},
                                          QStringList{"update-desktop-database", share + "/applications"}}) {
            const Run done = run(update.first(), update.mid(1));
            QVERIFY2(done.status == 0,
                     qPrintable(update.first() + " (tools/deps.sh installs it): " + done.out));
        }
    }

    void filesLandWhereDesktopsLook_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("command") << "usr/bin/pelnor";
        QTest::newRow("viewer") << "usr/bin/pelnor-viewer";
        QTest::newRow("menu entry") << "usr/share/applications/pelnor-viewer.desktop";
        QTest::newRow("file types") << "usr/share/mime/packages/pelnor-viewer.xml";
        QTest::newRow("icon") << "usr/share/icons/hicolor/scalable/apps/pelnor-viewer.svg";
        QTest::newRow("thumbnailer") << "usr/share/thumbnailers/pelnor.thumbnailer";
    }

    void filesLandWhereDesktopsLook() {
        QFETCH(QString, path);
        const QFileInfo installed(root + "/" + path);
        QVERIFY2(installed.isFile(), qPrintable(installed.filePath()));
        QCOMPARE(installed.isExecutable(), path.startsWith("usr/bin/"));
        QVERIFY2(packageFiles.contains(path), qPrintable(packageFiles.join('\n')));
        if (path.endsWith(".svg")) {
            const QImage icon(installed.filePath());
            QVERIFY(!icon.isNull());
            QCOMPARE(icon.width(), icon.height());
        }
    }

    // The menu entry is valid, and the entry, the file types and the thumbnailer name the same types.
    void entriesAgree() {
        const QString desktop = share + "/applications/pelnor-viewer.desktop";
        const Run validate = run("desktop-file-validate", {desktop});
        QVERIFY2(validate.status == 0 && validate.out.isEmpty(), qPrintable(validate.out));

        QStringList declared;
        QFile xml(share + "/mime/packages/pelnor-viewer.xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(xml.readAll());
        const QRegularExpression type("<mime-type type=\"([^\"]+)\"");
        for (auto match = type.globalMatch(text); match.hasNext();)
            declared << match.next().captured(1);
        QCOMPARE(declared.size(), 3);
        QCOMPARE(entryTypes(desktop), sorted(declared));
        QCOMPARE(entryTypes(share + "/thumbnailers/pelnor.thumbnailer"), sorted(declared));
    }

    void fileTypes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("madeAs");
        QTest::addColumn<QString>("type");
        QTest::newRow("raw capture") << "scan.pt"
                                     << "pt"
                                     << "application/x-pt-scan";
        QTest::newRow("3D video") << "walk.ptv"
                                  << "ptv"
                                  << "application/x-ptv-scan";
        QTest::newRow("finished frame") << "frame.xyzm"
                                        << "xyzm"
                                        << "application/x-xyzm-scan";
        QTest::newRow("ending in capitals") << "FRAME.XYZM"
                                            << "xyzm"
                                            << "application/x-xyzm-scan";
        QTest::newRow("frame without ending") << "frame"
                                              << "xyzm"
                                              << "application/x-xyzm-scan";
    }

    // A file manager names each scan's type and opens it with the viewer.
    void fileTypes() {
        QFETCH(QString, name);
        QFETCH(QString, madeAs);
        QFETCH(QString, type);
        const QString path = dir.filePath("types/" + name);
        QVERIFY(QDir().mkpath(dir.filePath("types")));
        QString error;
        const QString made = dir.filePath("types/made." + madeAs);
        QVERIFY2(madeAs == "ptv" ? writeSampleSequence(made, 32, 24, 2, 10.0f, &error)
                                 : writeSampleFile(made, 32, 24, &error),
                 qPrintable(error));
        QVERIFY(QFile::rename(made, path));

        const Run filetype = run("xdg-mime", {"query", "filetype", path}, desktopEnvironment());
        QCOMPARE(filetype.out.trimmed(), type);
        const Run opener = run("xdg-mime", {"query", "default", type}, desktopEnvironment());
        QCOMPARE(opener.out.trimmed(), QStringLiteral("pelnor-viewer.desktop"));
    }

    void thumbnails_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("raw capture, normal") << "scan.pt" << 128;
        QTest::newRow("3D video, large") << "walk.ptv" << 256;
        QTest::newRow("finished frame, small") << "a frame.xyzm" << 64;
    }

    // The thumbnailer's command, expanded as a file manager expands it and run without a screen as
    // a file manager's sandbox runs it, draws the scan on a transparent square of the size asked.
    void thumbnails() {
        QFETCH(QString, name);
        QFETCH(int, size);
        const QString in = dir.filePath(name), out = dir.filePath(name + ".png");
        QString error;
        QVERIFY2(name.endsWith(".ptv") ? writeSampleSequence(in, 64, 48, 3, 10.0f, &error)
                                       : writeSampleFile(in, 64, 48, &error),
                 qPrintable(error));

        QStringList command =
            QProcess::splitCommand(entryValue(share + "/thumbnailers/pelnor.thumbnailer", "Exec"));
        QVERIFY(!command.isEmpty());
        for (QString &argument : command) {
            argument.replace("%s", QString::number(size))
                .replace("%i", in)
                .replace("%u", QUrl::fromLocalFile(in).toString())
                .replace("%o", out);
        }
        QProcessEnvironment environment = desktopEnvironment();
        // llvmpipe keeps blocks of its compiled shaders to the end; they are not the tool's leaks.
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        const Run thumbnail = run(command.first(), command.mid(1), environment);
        QVERIFY2(thumbnail.status == 0, qPrintable(thumbnail.out));

        const QImage image = QImage(out).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(size, size));
        int drawn = 0, clear = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                drawn += alpha == 255;
                clear += alpha == 0;
            }
        }
        QVERIFY2(drawn > size * size / 4 && clear > 0 && drawn + clear == size * size,
                 qPrintable(QString("%1 drawn, %2 clear").arg(drawn).arg(clear)));
    }

    // The caches of file types and menu entries belong to the system: an install straight from the
    // build refreshes them, and the package leaves them to the system's triggers.
    void cachesFollowTheInstall() {
        const QString local = dir.filePath("local");
        const Run install = run("cmake", {"--install", PELNOR_BUILD_DIR, "--prefix", local});
        QVERIFY2(install.status == 0, qPrintable(install.out));
        QVERIFY(QFile::exists(local + "/share/mime/mime.cache"));
        QVERIFY(QFile::exists(local + "/share/applications/mimeinfo.cache"));
        QVERIFY(std::none_of(packageFiles.begin(), packageFiles.end(),
                             [](const QString &file) { return file.endsWith(".cache"); }));
    }

    // The package says what it needs to run, and its version is the programs' own.
    void debianPackage() {
        const Run fields = run("dpkg-deb", {"-f", package, "Package", "Version", "Depends"});
        QCOMPARE(fields.status, 0);
        QVERIFY(fields.out.contains("Package: pelnor-viewer\n"));
        for (const char *needed : {"libqt5core5a", "libqt5gui5", "libqt5widgets5", "libqt5svg5", "xvfb"})
            QVERIFY2(fields.out.contains(needed), qPrintable(QString(needed) + " missing in " + fields.out));
        const Run version = run(root + "/usr/bin/pelnor", {"--version"});
        QVERIFY(fields.out.contains("Version: " + version.out.section(' ', 1).trimmed() + "\n"));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
