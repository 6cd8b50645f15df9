#include "platform/BundleInfo.h"

#include "platform/FileOps.h"
#include "platform/PlistDepth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

// An Info.plist is a few kilobytes; anything far larger is not one we want to parse.
constexpr qint64 maxInfoPlistBytes = 8 * 1024 * 1024;
constexpr int maxNesting = 64;

struct PlistFree
{
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::optional<QString> stringEntry(plist_t dict, const char *key)
{
    plist_t node = plist_dict_get_item(dict, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    char *value = nullptr;
    plist_get_string_val(node, &value);
    if (!value)
        return std::nullopt;
    QString result = QString::fromUtf8(value);
    free(value);
    return result;
}

std::optional<qint64> numberEntry(plist_t dict, const char *key)
{
    plist_t node = plist_dict_get_item(dict, key);
    if (!node)
        return std::nullopt;
    if (plist_get_node_type(node) == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return value <= uint64_t(std::numeric_limits<qint64>::max()) ? std::optional(qint64(value)) : std::nullopt;
    }
    // Some cores write the size as a string.
    if (const auto text = stringEntry(dict, key)) {
        bool ok = false;
        const qint64 value = text->trimmed().toLongLong(&ok);
        return ok && value >= 0 ? std::optional(value) : std::nullopt;
    }
    return std::nullopt;
}

bool boolEntry(plist_t dict, const char *key)
{
    plist_t node = plist_dict_get_item(dict, key);
    if (!node)
        return false;
    if (plist_get_node_type(node) == PLIST_BOOLEAN) {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    if (plist_get_node_type(node) == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return value != 0;
    }
    return false;
}

// A name a file may be written under: no folders, nothing hidden or special.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/'))
           && !name.contains(QChar(0)) && name.size() <= 255;
}

bool isMd5(const QString &text)
{
    return text.size() == 32
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() || (c >= u'a' && c <= u'f'); });
}

// OEGameCoreOptions → each system → OERequiredFiles → each file.
QList<RequiredFile> requiredFilesOf(plist_t root)
{
    QList<RequiredFile> files;
    plist_t options = plist_dict_get_item(root, "OEGameCoreOptions");
    if (!options || plist_get_node_type(options) != PLIST_DICT)
        return files;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(options, &it);
    for (;;) {
        char *key = nullptr;
        plist_t system = nullptr;
        plist_dict_next_item(options, it, &key, &system);
        if (!key)
            break;
        const QString systemName = QString::fromUtf8(key);
        free(key);
        if (!system || plist_get_node_type(system) != PLIST_DICT)
            continue;
        plist_t list = plist_dict_get_item(system, "OERequiredFiles");
        if (!list || plist_get_node_type(list) != PLIST_ARRAY)
            continue;
        for (uint32_t i = 0; i < plist_array_get_size(list); ++i) {
            plist_t item = plist_array_get_item(list, i);
            if (!item || plist_get_node_type(item) != PLIST_DICT)
                continue;
            const auto name = stringEntry(item, "Name");
            const auto md5 = stringEntry(item, "MD5");
            if (!name || !isPlainName(*name) || !md5 || !isMd5(md5->toLower()))
                continue;
            files.append({systemName, *name, md5->toLower(), stringEntry(item, "Description").value_or(QString()),
                          numberEntry(item, "Size").value_or(-1), boolEntry(item, "Optional")});
        }
    }
    free(it);
    return files;
}

} // namespace

namespace BundleInfo {

std::optional<BundleMetadata> read(const QString &bundlePath)
{
    if (!QFileInfo(bundlePath).isDir())
        return std::nullopt;
    // Only a regular file (a pipe would block the read) of a sensible size, nested no deeper
    // than a real Info.plist ever is.
    const auto read
        = FileOps::readRegularFile(QDir(bundlePath).filePath(QStringLiteral("Contents/Info.plist")), maxInfoPlistBytes);
    if (!read)
        return std::nullopt;
    const QByteArray &bytes = *read;
    if (!PlistDepth::within(bytes, maxNesting))
        return std::nullopt;

    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;

    BundleMetadata meta;
    meta.identifier = stringEntry(root.get(), "CFBundleIdentifier");
    meta.shortVersion = stringEntry(root.get(), "CFBundleShortVersionString");
    meta.executable = stringEntry(root.get(), "CFBundleExecutable");
    meta.name = stringEntry(root.get(), "CFBundleName");
    meta.bundleVersion = stringEntry(root.get(), "CFBundleVersion");
    if (plist_t systems = plist_dict_get_item(root.get(), "OESystemIdentifiers");
        systems && plist_get_node_type(systems) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(systems); ++i) {
            plist_t item = plist_array_get_item(systems, i);
            if (item && plist_get_node_type(item) == PLIST_STRING) {
                char *value = nullptr;
                plist_get_string_val(item, &value);
                if (value)
                    meta.systems.append(QString::fromUtf8(value));
                free(value);
            }
        }
    }
    meta.requiredFiles = requiredFilesOf(root.get());
    return meta;
}

QMap<QString, std::optional<QString>> stringsOf(const QByteArray &bytes)
{
    QMap<QString, std::optional<QString>> found;
    if (bytes.isEmpty() || !PlistDepth::within(bytes, maxNesting))
        return found;
    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &raw);
    const PlistPtr root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return found;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(root.get(), &it);
    for (;;) {
        char *key = nullptr;
        plist_t node = nullptr;
        plist_dict_next_item(root.get(), it, &key, &node);
        if (!key)
            break;
        std::optional<QString> text;
        if (node && plist_get_node_type(node) == PLIST_STRING) {
            char *value = nullptr;
            plist_get_string_val(node, &value);
            if (value)
                text = QString::fromUtf8(value);
            free(value);
        }
        found.insert(QString::fromUtf8(key), text);
        free(key);
    }
    free(it);
    return found;
}

std::optional<QDateTime> dateOf(const QByteArray &bytes, const char *key)
{
    if (bytes.isEmpty() || !PlistDepth::within(bytes, maxNesting))
        return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &raw);
    const PlistPtr root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    plist_t node = plist_dict_get_item(root.get(), key);
    if (!node || plist_get_node_type(node) != PLIST_DATE)
        return std::nullopt;
    int32_t seconds = 0;
    int32_t microseconds = 0;
    // Seconds since 2001-01-01 UTC, as the Mac counts them. Newer libplists offer a Unix-based
    // twin and mark this one deprecated; it gives the same value everywhere.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    plist_get_date_val(node, &seconds, &microseconds);
#pragma GCC diagnostic pop
    const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch.addSecs(seconds).addMSecs(microseconds / 1000);
}

} // namespace BundleInfo
