#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class FeedServer;

// A release of a small but real OpenEmu bundle (with a real Info.plist and the sample app
// as its executable), packed as a zip and as a disk image, and published on a FeedServer's
// feed the way GitHub describes releases.
class SampleRelease
{
public:
    struct Options
    {
        QString version = QStringLiteral("1.0.4");
        bool zip = true;
        bool diskImage = false;
        bool digest = false; // publish "sha256:<hex>" in the asset record
        bool checksumFile = false; // publish "<asset>.sha256" beside it
        bool wrongChecksum = false; // what is published does not match the file
        qint64 publishedSize = -1; // the size in the record; -1 for the file's own
        QString assetName = {}; // overrides the packed file's name in the record
        QStringList otherAssets = {}; // more assets, without download addresses
        QString notes = QStringLiteral("**Fixes** for save states.");
        qint64 payloadBytes = 0; // a resource of this many pseudo-random bytes (benchmarks)
        QString identifier = QStringLiteral("org.openemu.OpenEmu"); // the app's CFBundleIdentifier
        // Cores inside the app (Contents/PlugIns/Cores): name and version, "org.openemu.<name>".
        QList<QPair<QString, QString>> cores = {};
    };

    // Builds the archives in workFolder and answers feedPath on the server with the release.
    static void publish(FeedServer &server, const QString &workFolder, const QString &feedPath, const Options &options);
    static void publish(FeedServer &server, const QString &workFolder, const QString &feedPath)
    {
        publish(server, workFolder, feedPath, Options());
    }
};
