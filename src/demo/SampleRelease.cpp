#include "demo/SampleRelease.h"

#include "demo/Bundles.h"
#include "demo/FeedServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cstring>
#include <stdexcept>

namespace {

void runTool(const QString &program, const QStringList &arguments, const QString &cwd)
{
    QProcess process;
    process.setWorkingDirectory(cwd);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw std::runtime_error(
            QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll())).toStdString());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read a packed release file");
    return file.readAll();
}

// Incompressible bytes, as most of a real bundle's weight is (compiled code, art).
void writePayload(const QString &path, qint64 bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the payload");
    quint64 seed = 0x2545f4914f6cdd1dull;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qint64 left = bytes; left > 0; left -= block.size()) {
        for (qsizetype at = 0; at + 8 <= block.size(); at += 8) {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            std::memcpy(block.data() + at, &seed, 8);
        }
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            throw std::runtime_error("cannot write the payload");
    }
}

} // namespace

void SampleRelease::publish(FeedServer &server, const QString &workFolder, const QString &feedPath,
                            const Options &options)
{
    const QString stage = QDir(workFolder).filePath(QStringLiteral("stage-") + options.version);
    QDir(stage).removeRecursively();
    const QString app = Bundles::write(
        stage, QStringLiteral("OpenEmu.app"),
        {.identifier = options.identifier, .version = options.version, .executableSource = Bundles::sampleApp()});
    for (const auto &[name, version] : options.cores) {
        Bundles::write(
            app + QStringLiteral("/Contents/PlugIns/Cores"), name + QStringLiteral(".oecoreplugin"),
            {.identifier = QStringLiteral("org.openemu.") + name, .executableName = name, .bundleVersion = version});
    }
    // A framework laid out as the real app's are: links through links (XADMaster ->
    // Versions/Current/XADMaster, Current -> A) and a link that climbs with "..".
    const QString framework = app + QStringLiteral("/Contents/Frameworks/XADMaster.framework");
    QDir().mkpath(framework + QStringLiteral("/Versions/A"));
    QFile library(framework + QStringLiteral("/Versions/A/XADMaster"));
    if (!library.open(QIODevice::WriteOnly) || library.write("framework code") < 0)
        throw std::runtime_error("cannot write the sample framework");
    library.close();
    QFile::link(QStringLiteral("A"), framework + QStringLiteral("/Versions/Current"));
    QFile::link(QStringLiteral("Versions/Current/XADMaster"), framework + QStringLiteral("/XADMaster"));
    QDir().mkpath(app + QStringLiteral("/Contents/Resources"));
    QFile::link(QStringLiteral("../Frameworks/XADMaster.framework/XADMaster"),
                app + QStringLiteral("/Contents/Resources/XADMaster"));
    if (options.payloadBytes > 0)
        writePayload(app + QStringLiteral("/Contents/Resources/payload.bin"), options.payloadBytes);

    struct Packed
    {
        QString name;
        QByteArray bytes;
    };
    QList<Packed> packed;
    if (options.diskImage) {
        const QString image = QDir(workFolder).filePath(QStringLiteral("OpenEmu-Silicon-%1.dmg").arg(options.version));
#ifdef Q_OS_MACOS
        // A real UDIF image, as the project publishes them.
        QFile::remove(image);
        runTool(QStringLiteral("hdiutil"),
                {QStringLiteral("create"), QStringLiteral("-quiet"), QStringLiteral("-fs"), QStringLiteral("HFS+"),
                 QStringLiteral("-volname"), QStringLiteral("OpenEmu"), QStringLiteral("-srcfolder"), stage,
                 QStringLiteral("-format"), QStringLiteral("UDZO"), image},
                workFolder);
#else
        // An ISO image named .dmg: what 7-Zip opens as the Mac's hdiutil would attach it.
        runTool(QStringLiteral("genisoimage"),
                {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-V"), QStringLiteral("OpenEmu"),
                 QStringLiteral("-o"), image, stage},
                workFolder);
#endif
        packed.append({QStringLiteral("OpenEmu-Silicon.dmg"), readFile(image)});
    }
    if (options.zip) {
        const QString zip = QDir(workFolder).filePath(QStringLiteral("OpenEmu-Silicon-%1.zip").arg(options.version));
        QFile::remove(zip);
        runTool(QStringLiteral("zip"),
                {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-y"),
                 options.payloadBytes > 0 ? QStringLiteral("-1") : QStringLiteral("-6"), zip,
                 QStringLiteral("OpenEmu.app")},
                stage);
        packed.append({QStringLiteral("OpenEmu-Silicon.zip"), readFile(zip)});
    }

    QJsonArray assets;
    for (const QString &other : options.otherAssets)
        assets.append(QJsonObject{{QStringLiteral("name"), other},
                                  {QStringLiteral("size"), 1234},
                                  {QStringLiteral("browser_download_url"), QJsonValue()}});
    for (const Packed &file : packed) {
        const QString name = options.assetName.isEmpty() ? file.name : options.assetName;
        const QString path = QStringLiteral("/download/%1/%2").arg(options.version, file.name);
        server.file(path, file.bytes);
        QByteArray sha = QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256).toHex();
        if (options.wrongChecksum)
            sha = QCryptographicHash::hash(file.bytes + "x", QCryptographicHash::Sha256).toHex();

        QJsonObject asset{
            {QStringLiteral("name"), name},
            {QStringLiteral("size"), options.publishedSize >= 0 ? options.publishedSize : qint64(file.bytes.size())},
            {QStringLiteral("browser_download_url"), server.urlText(path)},
            {QStringLiteral("content_type"), QStringLiteral("application/octet-stream")}};
        if (options.digest)
            asset.insert(QStringLiteral("digest"), QStringLiteral("sha256:") + QString::fromLatin1(sha));
        assets.append(asset);
        if (options.checksumFile) {
            server.file(path + QStringLiteral(".sha256"), sha + "  " + name.toUtf8() + "\n");
            assets.append(QJsonObject{
                {QStringLiteral("name"), name + QStringLiteral(".sha256")},
                {QStringLiteral("size"), 84},
                {QStringLiteral("browser_download_url"), server.urlText(path + QStringLiteral(".sha256"))}});
        }
    }
    const QJsonObject release{
        {QStringLiteral("tag_name"), QStringLiteral("v") + options.version},
        {QStringLiteral("name"), QStringLiteral("OpenEmu-Silicon ") + options.version},
        {QStringLiteral("body"), options.notes},
        {QStringLiteral("html_url"), QStringLiteral("https://github.com/OpenEmu-Silicon/OpenEmu-Silicon/releases")},
        {QStringLiteral("published_at"), QStringLiteral("2026-11-30T10:00:00Z")},
        {QStringLiteral("assets"), assets}};
    server.json(feedPath, QJsonDocument(release).toJson());
}
