#include "demo/Bundles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>

#include <cstdlib>
#include <stdexcept>

namespace {

// Integers, booleans, dates, lists and dictionaries as themselves; anything else as its text.
plist_t nodeOf(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong: return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::Bool: return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::QDateTime: {
        // Seconds since 2001-01-01 UTC, as the Mac counts them (newer libplists call this
        // deprecated and give it the same meaning).
        const qint64 ms = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).msecsTo(value.toDateTime());
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        return plist_new_date(int32_t(ms / 1000), int32_t(ms % 1000 * 1000));
#pragma GCC diagnostic pop
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant &item : value.toList())
            plist_array_append_item(array, nodeOf(item));
        return array;
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), nodeOf(it.value()));
        return dict;
    }
    default: return plist_new_string(value.toString().toUtf8().constData());
    }
}

} // namespace

namespace Bundles {

void writePreferences(const QString &file, const QVariantMap &values, PlistFormat format)
{
    plist_t dict = nodeOf(values);
    char *data = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::binary)
        plist_to_bin(dict, &data, &length);
    else
        plist_to_xml(dict, &data, &length);
    plist_free(dict);
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    const bool written = out.open(QIODevice::WriteOnly) && out.write(data, length) == qint64(length);
    std::free(data);
    if (!written)
        throw std::runtime_error("cannot write the preferences");
}

QString write(const QString &folder, const QString &name, const Spec &spec)
{
    const QString bundle = QDir(folder).filePath(name);
    if (!QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")))
        throw std::runtime_error("cannot create bundle folder");

    plist_t dict = plist_new_dict();
    if (spec.identifier)
        plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(spec.identifier->toUtf8().constData()));
    if (spec.version)
        plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string(spec.version->toUtf8().constData()));
    plist_dict_set_item(dict, "CFBundleExecutable", plist_new_string(spec.executableName.toUtf8().constData()));
    plist_dict_set_item(dict, "CFBundlePackageType", plist_new_string("APPL"));
    if (spec.bundleVersion)
        plist_dict_set_item(dict, "CFBundleVersion", plist_new_string(spec.bundleVersion->toUtf8().constData()));
    if (!spec.systems.isEmpty()) {
        plist_t systems = plist_new_array();
        for (const QString &system : spec.systems)
            plist_array_append_item(systems, plist_new_string(system.toUtf8().constData()));
        plist_dict_set_item(dict, "OESystemIdentifiers", systems);
    }
    for (auto it = spec.more.begin(); it != spec.more.end(); ++it)
        plist_dict_set_item(dict, it.key().toUtf8().constData(), nodeOf(it.value()));

    char *data = nullptr;
    uint32_t length = 0;
    if (spec.format == PlistFormat::binary)
        plist_to_bin(dict, &data, &length);
    else
        plist_to_xml(dict, &data, &length);
    plist_free(dict);

    QFile info(bundle + QStringLiteral("/Contents/Info.plist"));
    const bool written = info.open(QIODevice::WriteOnly) && info.write(data, length) == qint64(length);
    std::free(data);
    if (!written)
        throw std::runtime_error("cannot write Info.plist");

    if (!spec.executableSource.isEmpty()) {
        const QString target = bundle + QStringLiteral("/Contents/MacOS/") + spec.executableName;
        QFile::remove(target);
        if (!QFile::copy(spec.executableSource, target))
            throw std::runtime_error("cannot copy the executable");
        QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner | QFile::ExeUser);
    }
    return bundle;
}

QString sampleApp()
{
    // Beside the running program when installed together, else where the build put it.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/vantor-sample-app");
    return QFileInfo::exists(beside) ? beside : QStringLiteral(VANTOR_SAMPLE_APP);
}

} // namespace Bundles
