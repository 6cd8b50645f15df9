#include "platform/BundleInfo.h"

#include "platform/FileOps.h"
#include "platform/PlistDepth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>

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

} // namespace BundleInfo
