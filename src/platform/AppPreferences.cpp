#include "platform/AppPreferences.h"

#include "base/TestHooks.h"
#include "platform/FileOps.h"
#include "platform/PlistDepth.h"
#include "platform/ProcessRunner.h"

#include <QFileInfo>
#include <QStringList>

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace AppPreferences {

namespace {

constexpr qint64 maxPreferencesBytes = 4 * 1024 * 1024;
constexpr int maxNesting = 64;

// What the tool printed, or nothing when there is no tool or it failed.
QString defaults(const QStringList &arguments)
{
    QString tool = TestHooks::variable("VANTOR_DEFAULTS_TOOL");
    if (tool.isEmpty())
        tool = QStringLiteral("/usr/bin/defaults");
    if (!QFileInfo(tool).isExecutable())
        return {};
    try {
        return ProcessRunner::run(tool, arguments);
    } catch (...) {
        // A domain the service doesn't know (never set, already gone) is nothing to tell it.
        return {};
    }
}

struct PlistFree
{
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

QMap<QString, std::optional<QString>> entries(const QByteArray &bytes)
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

} // namespace

QMap<QString, std::optional<QString>> strings(const QString &domain, const QString &file)
{
    auto found = entries(defaults({QStringLiteral("export"), domain, QStringLiteral("-")}).toUtf8());
    if (found.isEmpty())
        found = entries(
            FileOps::readRegularFile(file, maxPreferencesBytes, FileOps::Links::follow).value_or(QByteArray()));
    return found;
}

void exportTo(const QString &domain, const QString &file)
{
    defaults({QStringLiteral("export"), domain, file});
}

void importFrom(const QString &domain, const QString &file)
{
    defaults({QStringLiteral("import"), domain, file});
}

void forget(const QString &domain)
{
    defaults({QStringLiteral("delete"), domain});
}

} // namespace AppPreferences
