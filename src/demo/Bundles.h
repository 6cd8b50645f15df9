#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// Writes real application bundles (for tests and the demo): a folder with Contents/Info.plist (XML or
// binary) and, when asked, an executable in Contents/MacOS/.
namespace Bundles {

enum class PlistFormat { xml, binary };

struct Spec
{
    std::optional<QString> identifier = QStringLiteral("org.openemu.OpenEmu");
    std::optional<QString> version = QStringLiteral("1.0.0");
    PlistFormat format = PlistFormat::xml;
    QString executableName = QStringLiteral("OpenEmu");
    QString executableSource = {}; // a program copied into Contents/MacOS/; none when empty
    std::optional<QString> bundleVersion = {}; // CFBundleVersion (a core's version)
    QStringList systems = {}; // OESystemIdentifiers (a core's systems)
    QVariantMap more = {}; // further entries: numbers, booleans, lists and dictionaries as such
};

// Creates folder/name (and folder) and gives the bundle's path.
QString write(const QString &folder, const QString &name, const Spec &spec = {});

// Writes a preferences file: a dictionary of strings, integers, booleans, lists and
// dictionaries, as the Mac writes it (binary) or as XML.
void writePreferences(const QString &file, const QVariantMap &values, PlistFormat format = PlistFormat::binary);

// The sample app program that runs until it is asked to quit.
QString sampleApp();

} // namespace Bundles
