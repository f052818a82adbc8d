#include "render/scan_session.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <vector>

namespace {

constexpr int kSessionVersion = 1;
constexpr int kLongestName = 200;

SectionedJson sessionDocument() {
    return SectionedJson(QStringLiteral("pelnor-session"), kSessionVersion,
                         QJsonObject{{QStringLiteral("angles"), QStringLiteral("degrees")},
                                     {QStringLiteral("lengths"), QStringLiteral("the scan's units")},
                                     {QStringLiteral("depths"), QStringLiteral("the scan's z, in its units")},
                                     {QStringLiteral("bytes"), QStringLiteral("bytes")}});
}

bool wrong(const QString &key, const QString &what, QString *problem) {
    *problem = QStringLiteral("'%1': %2").arg(key, what);
    return false;
}

bool finiteDepth(const QJsonValue &value, float *depth) {
    const double number = value.toDouble(NAN);
    if (!value.isDouble() || !std::isfinite(number) || std::fabs(number) > double(kLargestViewShift))
        return false;
    *depth = static_cast<float>(number);
    return true;
}

bool readCamera(ScanSession &session, const QJsonValue &value, QString *problem) {
    CameraView camera;
    if (!camera.fromJson(value.toObject(), QStringLiteral("camera"), problem))
        return false;
    session.camera = camera;
    return true;
}

QJsonValue writeCamera(const ScanSession &session) {
    return session.camera ? QJsonValue(session.camera->toJson()) : QJsonValue();
}

bool readViews(ScanSession &session, const QJsonValue &value, QString *problem) {
    const QJsonObject views = value.toObject();
    for (auto it = views.begin(); it != views.end(); ++it) {
        const QString where = QStringLiteral("views.") + it.key();
        bool isNumber = false;
        const int number = it.key().toInt(&isNumber);
        if (!isNumber || number < 1 || number > ScanSession::kViewNumbers ||
            it.key() != QString::number(number))
            return wrong(where, QStringLiteral("views are numbered 1 to 9"), problem);
        const QJsonObject fields = it.value().toObject();
        NamedView view;
        if (!view.camera.fromJson(fields, where, problem))
            return false;
        const QJsonValue name = fields.value(QStringLiteral("name"));
        if (!name.isUndefined() && (!name.isString() || name.toString().size() > kLongestName))
            return wrong(where + QStringLiteral(".name"), QStringLiteral("a text of at most 200 characters"),
                         problem);
        view.name = name.toString();
        session.views[number] = view;
    }
    return true;
}

QJsonValue writeViews(const ScanSession &session) {
    if (session.views.empty())
        return QJsonValue();
    QJsonObject views;
    for (const auto &kept : session.views) {
        QJsonObject fields = kept.second.camera.toJson();
        fields.insert(QStringLiteral("name"), kept.second.name);
        views.insert(QString::number(kept.first), fields);
    }
    return views;
}

bool readColours(ScanSession &session, const QJsonValue &value, QString *problem) {
    const QJsonObject fields = value.toObject();
    SessionColours colours;
    if (!depthScaleOfKey(fields.value(QStringLiteral("scale")).toString(), &colours.scale))
        return wrong(QStringLiteral("colours.scale"),
                     QStringLiteral("one of first-frame, this-frame, sequence and fixed"), problem);
    for (const auto &end :
         {std::make_pair("near", &colours.nearDepth), std::make_pair("far", &colours.farDepth)})
        if (!finiteDepth(fields.value(QLatin1String(end.first)), end.second))
            return wrong(QStringLiteral("colours.") + QLatin1String(end.first),
                         QStringLiteral("a finite depth of at most 1e7 in size"), problem);
    const QJsonValue provisional = fields.value(QStringLiteral("provisional"));
    if (!provisional.isUndefined() && !provisional.isBool())
        return wrong(QStringLiteral("colours.provisional"), QStringLiteral("true or false"), problem);
    colours.provisional = provisional.toBool(false);
    session.colours = colours;
    return true;
}

QJsonValue writeColours(const ScanSession &session) {
    if (!session.colours)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("scale"), depthScaleKey(session.colours->scale)},
                       {QStringLiteral("near"), jsonFloat(session.colours->nearDepth)},
                       {QStringLiteral("far"), jsonFloat(session.colours->farDepth)},
                       {QStringLiteral("provisional"), session.colours->provisional}};
}

bool readScan(ScanSession &session, const QJsonValue &value, QString *problem) {
    const QJsonObject fields = value.toObject();
    const QJsonValue bytes = fields.value(QStringLiteral("bytes"));
    const double count = bytes.toDouble(-1.0);
    if (!bytes.isDouble() || count < 0.0 || count > 9e15 || count != std::floor(count))
        return wrong(QStringLiteral("scan.bytes"), QStringLiteral("a whole number of bytes"), problem);
    session.scanName = fields.value(QStringLiteral("file")).toString();
    session.scanBytes = static_cast<int64_t>(count);
    return true;
}

QJsonValue writeScan(const ScanSession &session) {
    if (session.scanBytes < 0)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("file"), session.scanName},
                       {QStringLiteral("bytes"), static_cast<double>(session.scanBytes)}};
}

bool readRegion(ScanSession &session, const QJsonValue &value, QString *problem) {
    const QJsonObject fields = value.toObject();
    Region region;
    QVector3D *numbers[] = {&region.centre, &region.size, &region.angles};
    const char *keys[] = {"centre", "size", "angles"};
    for (int k = 0; k < 3; ++k) {
        const QJsonArray array = fields.value(QLatin1String(keys[k])).toArray();
        float read[3] = {NAN, NAN, NAN};
        for (int a = 0; a < 3 && array.size() == 3; ++a)
            if (array.at(a).isDouble() && std::fabs(array.at(a).toDouble()) <= double(kLargestViewShift))
                read[a] = static_cast<float>(array.at(a).toDouble());
        if (!std::isfinite(read[0] + read[1] + read[2]))
            return wrong(QStringLiteral("region.") + QLatin1String(keys[k]),
                         QStringLiteral("three finite numbers of at most 1e7 in size are needed"), problem);
        *numbers[k] = QVector3D(read[0], read[1], read[2]);
    }
    const QString box = Region::problem(region.centre, region.size, region.angles);
    if (!box.isEmpty())
        return wrong(QStringLiteral("region.size"), box, problem);
    const QString keep = fields.value(QStringLiteral("keep")).toString();
    if (keep != QLatin1String("inside") && keep != QLatin1String("outside"))
        return wrong(QStringLiteral("region.keep"), QStringLiteral("inside or outside"), problem);
    region.keepInside = keep == QLatin1String("inside");
    session.region = region;
    return true;
}

QJsonValue writeRegion(const ScanSession &session) {
    if (!session.region || !session.region->isSet())
        return QJsonValue();
    const auto triple = [](const QVector3D &v) {
        return QJsonArray{jsonFloat(v.x()), jsonFloat(v.y()), jsonFloat(v.z())};
    };
    const Region &region = *session.region;
    return QJsonObject{
        {QStringLiteral("centre"), triple(region.centre)},
        {QStringLiteral("size"), triple(region.size)},
        {QStringLiteral("angles"), triple(region.angles)},
        {QStringLiteral("keep"), region.keepInside ? QStringLiteral("inside") : QStringLiteral("outside")}};
}

// The sections this program knows. Each must be an object; its reader checks every field before it
// takes any.
struct Section {
    const char *key;
    bool (*read)(ScanSession &, const QJsonValue &, QString *);
    QJsonValue (*write)(const ScanSession &);
};
// Pins as {"pixels": [[column, row], ...]}, whole numbers.
bool readPins(ScanSession &session, const QJsonValue &value, QString *problem) {
    const QJsonValue list = value.toObject().value(QStringLiteral("pixels"));
    const QJsonArray pins = list.toArray();
    if (!list.isArray() || pins.size() > ScanSession::kMostPins)
        return wrong(QStringLiteral("pins.pixels"), QStringLiteral("a list of at most 8 pixels"), problem);
    QVector<QPoint> read;
    for (int k = 0; k < pins.size(); ++k) {
        const QJsonArray pixel = pins.at(k).toArray();
        const double u = pixel.size() == 2 ? pixel.at(0).toDouble(-1) : -1,
                     v = pixel.size() == 2 ? pixel.at(1).toDouble(-1) : -1;
        if (!(u >= 0 && v >= 0 && u <= 1e6 && v <= 1e6 && u == std::floor(u) && v == std::floor(v)))
            return wrong(QStringLiteral("pins.pixels.%1").arg(k),
                         QStringLiteral("a column and a row, whole numbers from 0"), problem);
        read.push_back(QPoint(int(u), int(v)));
    }
    session.pins = read;
    return true;
}

QJsonValue writePins(const ScanSession &session) {
    if (session.pins.isEmpty())
        return QJsonValue();
    QJsonArray pins;
    for (const QPoint &pixel : session.pins)
        pins.append(QJsonArray{pixel.x(), pixel.y()});
    return QJsonObject{{QStringLiteral("pixels"), pins}};
}

// {"frame": K} or {"mean of first": N}.
bool readReference(ScanSession &session, const QJsonValue &value, QString *problem) {
    const QJsonObject fields = value.toObject();
    const auto whole = [](const QJsonValue &number, double least) {
        const double n = number.toDouble(-1);
        return number.isDouble() && n >= least && n <= 1e7 && n == std::floor(n) ? int32_t(n) : -1;
    };
    SessionReference reference;
    if (fields.contains(QStringLiteral("frame"))) {
        reference.frame = whole(fields.value(QStringLiteral("frame")), 0);
        if (reference.frame < 0)
            return wrong(QStringLiteral("reference.frame"), QStringLiteral("a frame's index, from 0"),
                         problem);
    } else {
        reference.meanFrames = whole(fields.value(QStringLiteral("mean of first")), 1);
        if (reference.meanFrames < 1)
            return wrong(QStringLiteral("reference.mean of first"),
                         QStringLiteral("a count of frames, from 1"), problem);
    }
    session.reference = reference;
    return true;
}

QJsonValue writeReference(const ScanSession &session) {
    if (!session.reference)
        return QJsonValue();
    if (session.reference->frame >= 0)
        return QJsonObject{{QStringLiteral("frame"), session.reference->frame}};
    return QJsonObject{{QStringLiteral("mean of first"), session.reference->meanFrames}};
}

const std::vector<Section> kSections = {
    {"scan", readScan, writeScan},
    {"camera", readCamera, writeCamera},
    {"views", readViews, writeViews},
    {"colours", readColours, writeColours},
    {"region", readRegion, writeRegion},
    {"pins", readPins, writePins},
    {"reference", readReference, writeReference},
};

} // namespace

ScanSession::ScanSession() : m_document(sessionDocument()) {}

bool ScanSession::parse(const QByteArray &text, QString *error) {
    ScanSession read;
    if (!read.m_document.parse(text, error))
        return false;
    for (const Section &section : kSections) {
        const QString key = QLatin1String(section.key);
        const QJsonValue value = read.m_document.section(key);
        if (value.isUndefined())
            continue;
        if (!value.isObject())
            return wrong(key, QStringLiteral("an object is needed"), error);
        if (!section.read(read, value, error))
            return false;
    }
    *this = read;
    return true;
}

bool ScanSession::readFile(const QString &path, QString *error) {
    QByteArray bytes;
    return SectionedJson::readText(path, &bytes, error) && parse(bytes, error);
}

QByteArray ScanSession::text() const {
    SectionedJson document = m_document;
    for (const Section &section : kSections) {
        const QJsonValue value = section.write(*this);
        if (value.isUndefined() || value.isNull())
            document.removeSection(QLatin1String(section.key));
        else
            document.setSection(QLatin1String(section.key), value);
    }
    return document.text();
}

bool ScanSession::writeFile(const QString &path, QString *error) const {
    return SectionedJson::writeText(path, text(), error);
}

bool ScanSession::holdsNothing() const {
    return views.empty() && (!camera || *camera == CameraView()) &&
           (!colours || colours->scale == DepthScale::FirstFrame) && (!region || !region->isSet()) &&
           pins.isEmpty() && !reference && m_document.isEmpty();
}
