#include "run_program.h"
#include "sample/sample_files.h"
#include "test_support.h"

#include <QDir>
#include <QImage>
#include <QtTest>

namespace {

// The value of a key in a desktop or thumbnailer entry, which hold one group each.
QString entryValue(const QString &path, const QString &key) {
    const QRegularExpression line("^" + QRegularExpression::escape(key) + "=(.*)$",
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(readAll(path))).captured(1);
}

QStringList entryTypes(const QString &path) {
    QStringList types = entryValue(path, "MimeType").split(';', Qt::SkipEmptyParts);
    types.sort();
    return types;
}

} // namespace

// The programs installed as a desktop installs them: the Debian package made once from this build,
// unpacked into a tree.
class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString root;  // the unpacked package
    QString share; // its data folder, where desktops look for entries, types and icons
    QString package;

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
        const QString packages = dir.filePath("package");
        const Run packed =
            run("cpack", {"-G", "DEB", "--config", PELNOR_BUILD_DIR "/CPackConfig.cmake", "-B", packages});
        const QStringList debs = QDir(packages).entryList({"pelnor-viewer_*.deb"});
        QVERIFY2(debs.size() == 1, qPrintable(packed.out + packed.err));
        package = packages + "/" + debs.first();
        for (const Run &done : {run("dpkg-deb", {"-x", package, root}),
                                // What the package leaves to the system's triggers, done here on the tree.
                                run("update-mime-database", {share + "/mime"}),
                                run("update-desktop-database", {share + "/applications"})})
            QVERIFY2(done.status == 0,
                     qPrintable("(tools/deps.sh installs the tools) " + done.out + done.err));
    }

    // The menu entry is valid and finds its program and a square icon where desktops look; the
    // thumbnailer finds its program, and it and the menu entry name the same types.
    void filesLandWhereDesktopsLook() {
        const QString desktop = share + "/applications/pelnor-viewer.desktop";
        const QString thumbnailer = share + "/thumbnailers/pelnor.thumbnailer";
        const Run validate = run("desktop-file-validate", {desktop});
        QVERIFY2(validate.status == 0 && (validate.out + validate.err).isEmpty(), qPrintable(validate.out));
        for (const QString &entry : {desktop, thumbnailer}) {
            const QFileInfo program(root + "/usr/bin/" + entryValue(entry, "TryExec"));
            QVERIFY2(program.isFile() && program.isExecutable(), qPrintable(entry));
        }
        const QImage icon(share + "/icons/hicolor/scalable/apps/" + entryValue(desktop, "Icon") + ".svg");
        QVERIFY(!icon.isNull() && icon.width() == icon.height());
        // fileTypes finds each type declared and opened by the viewer; the thumbnailer takes the same.
        QCOMPARE(entryTypes(thumbnailer), entryTypes(desktop));
    }

    void fileTypes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("thumbnail"); // its edge, or 0 for none
        const auto row = [](const char *tag, const char *name, const char *type, int thumbnail) {
            QTest::newRow(tag) << QString(name) << QString(type) << thumbnail;
        };
        row("raw capture", "scan.pt", "application/x-pt-scan", 128);
        row("3D video", "walk.ptv", "application/x-ptv-scan", 256);
        row("finished frame", "a frame.xyzm", "application/x-xyzm-scan", 64);
        row("ending in capitals", "FRAME.XYZM", "application/x-xyzm-scan", 0);
        row("frame without ending", "frame", "application/x-xyzm-scan", 0);
    }

    // A file manager names each scan's type and opens it with the viewer. The thumbnailer's command,
    // expanded as a file manager expands it and run in a sandbox as file managers run it (the system's
    // /usr, the installed programs, the scan read-only and a folder for the picture; no display, no X
    // socket, no graphics device, no network), draws the scan on a transparent square of the size
    // asked.
    void fileTypes() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(int, thumbnail);
        const QString in = dir.filePath(name), made = in + "." + type.section('-', 1, 1);
        QString error;
        QVERIFY2(made.endsWith(".ptv") ? writeSampleSequence(made, 64, 48, 3, 10.0f, &error)
                                       : writeSampleFile(made, 64, 48, &error),
                 qPrintable(error));
        QVERIFY(QFile::rename(made, in));
        QCOMPARE(run("xdg-mime", {"query", "filetype", in}, desktopEnvironment()).out.trimmed(), type);
        QCOMPARE(run("xdg-mime", {"query", "default", type}, desktopEnvironment()).out.trimmed(),
                 QStringLiteral("pelnor-viewer.desktop"));
        if (thumbnail == 0)
            return;

        const QString folder = dir.filePath("thumbnails"), out = folder + "/" + name + ".png";
        QVERIFY(QDir().mkpath(folder));
        QStringList command =
            QProcess::splitCommand(entryValue(share + "/thumbnailers/pelnor.thumbnailer", "Exec"));
        QVERIFY(!command.isEmpty());
        for (QString &argument : command)
            argument.replace("%s", QString::number(thumbnail))
                .replace("%i", in)
                .replace("%u", QUrl::fromLocalFile(in).toString())
                .replace("%o", out);
        const QStringList sandbox = {"--unshare-all",
                                     "--die-with-parent",
                                     "--ro-bind",
                                     "/usr",
                                     "/usr",
                                     "--symlink",
                                     "usr/lib",
                                     "/lib",
                                     "--symlink",
                                     "usr/lib64",
                                     "/lib64",
                                     "--symlink",
                                     "usr/bin",
                                     "/bin",
                                     "--proc",
                                     "/proc",
                                     "--dev",
                                     "/dev",
                                     "--ro-bind",
                                     root,
                                     root,
                                     "--ro-bind",
                                     in,
                                     in,
                                     "--bind",
                                     folder,
                                     folder};
        const Run drawn = run("bwrap", sandbox + command, desktopEnvironment());
        QVERIFY2(drawn.status == 0, qPrintable(drawn.err));
        const QImage image = QImage(out).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(thumbnail, thumbnail));
        int opaque = 0, clear = 0;
        for (int y = 0; y < thumbnail; ++y)
            for (int x = 0; x < thumbnail; ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255, clear += qAlpha(image.pixel(x, y)) == 0;
        QVERIFY2(opaque > thumbnail * thumbnail / 4 && clear > 0 && opaque + clear == thumbnail * thumbnail,
                 qPrintable(QString("%1 opaque, %2 clear").arg(opaque).arg(clear)));
    }

    // The package says what it needs to run, and its version is the programs' own. The caches of file
    // types and menu entries belong to the system: the package leaves them to the system's triggers,
    // and an install straight from the build refreshes them.
    void debianPackage() {
        const QString fields = run("dpkg-deb", {"-f", package, "Version", "Depends", "Recommends"}).out;
        for (const char *needed : {"libqt5core5a", "libqt5gui5", "libqt5widgets5", "libqt5svg5", "libopengl0",
                                   "libegl1", "libegl-mesa0", "libgl1-mesa-dri", "python3-numpy"})
            QVERIFY2(fields.contains(needed), qPrintable(QString(needed) + " missing in " + fields));
        // Thumbnails need no virtual screen.
        QVERIFY2(!fields.contains("xvfb") && !fields.contains("xauth"), qPrintable(fields));
        QVERIFY2(fields.contains("Recommends: python3-dask, python3-distributed\n"), qPrintable(fields));
        const QString version = run(root + "/usr/bin/pelnor", {"--version"}).out.section(' ', 1).trimmed();
        QVERIFY2(!version.isEmpty() && fields.contains("Version: " + version + "\n"), qPrintable(fields));
        // The installed tool finds its video module where the package puts it.
        const QString scan = dir.filePath("for-video.pt"), video = dir.filePath("installed.mp4");
        QString error;
        QVERIFY(writeSampleFile(scan, 64, 48, &error));
        const Run filmed =
            run(root + "/usr/bin/pelnor", {"render", scan, video, "--size", "64x48"}, desktopEnvironment());
        QVERIFY2(filmed.status == 0 && QFileInfo(video).size() > 0, qPrintable(filmed.err));

        QVERIFY(!run("dpkg-deb", {"-c", package}).out.contains(".cache"));
        // Debian's python3 imports the module from where the package puts it, without Dask until
        // pelnor.dask is asked for.
        QProcessEnvironment python = QProcessEnvironment::systemEnvironment();
        python.insert("PYTHONPATH", root + "/usr/" PELNOR_PYTHON_DIR);
        const char *script = "import sys, pelnor\nassert 'dask' not in sys.modules\nimport pelnor.dask\n"
                             "print(pelnor.__file__)";
        const Run imported = run(PELNOR_PYTHON, {"-c", script}, python);
        QVERIFY2(imported.status == 0 && imported.out.startsWith(root), qPrintable(imported.err));
        const QString local = dir.filePath("local");
        const Run install = run("cmake", {"--install", PELNOR_BUILD_DIR, "--prefix", local});
        QVERIFY2(install.status == 0, qPrintable(install.out + install.err));
        QVERIFY(QFile::exists(local + "/share/mime/mime.cache"));
        QVERIFY(QFile::exists(local + "/share/applications/mimeinfo.cache"));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
