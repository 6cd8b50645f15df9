#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

// File helpers the tests share. A write that fails stops the test program: whatever came next
// would fail for a reason other than the one under test.
namespace TestFiles {

// Writes a file, making its folders first; gives its path.
inline QString write(const QString &path, const QByteArray &content = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A file's bytes; empty when it cannot be read.
inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets a file's modification time.
inline bool touch(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

// Everything in a folder, hidden entries included, by name.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The names Info-ZIP's unzip lists: what Vantor writes stays a plain zip the standard tools read.
inline QStringList zipNames(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    unzip.waitForFinished();
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A binary property list of about 200 bytes that expands to 14^10 objects: a dictionary whose
// one value is an array of 14 references to an array of 14 references to … ten levels down.
inline QByteArray repeatingPlist()
{
    const int levels = 10;
    QByteArray bytes("bplist00");
    QList<int> offsets;
    offsets.append(int(bytes.size()));
    bytes.append(char(0xD1)).append(char(1)).append(char(2)); // {objects[1]: objects[2]}
    offsets.append(int(bytes.size()));
    bytes.append(char(0x51)).append('a'); // "a"
    for (int level = 0; level < levels; ++level) {
        offsets.append(int(bytes.size()));
        bytes.append(char(0xAE)); // an array of 14 references, all to the next object
        bytes.append(QByteArray(14, char(3 + level)));
    }
    offsets.append(int(bytes.size()));
    bytes.append(char(0x51)).append('x');
    const int table = int(bytes.size());
    for (const int offset : offsets)
        bytes.append(char(offset));
    QByteArray trailer(32, '\0');
    trailer[6] = 1; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = char(offsets.size()); // objects
    trailer[23] = 0; // top object
    trailer[31] = char(table);
    return bytes + trailer;
}

} // namespace TestFiles
