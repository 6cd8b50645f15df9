#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// How one entry of a ZipWriter archive is written.
struct ZipEntryOptions
{
    int hostByte = 3; // "made by": 3 is Unix; BeOS 16, AtheOS 30, Atari 5, VMS 2
    QString unicodePathField{}; // a different name in the Info-ZIP Unicode path field (0x7075)
    qint64 listedSize = -1; // the uncompressed size the headers claim; -1 for the real one
    QString localName{}; // a different name in the local header than in the directory
    qint64 localListedSize = -1; // a different uncompressed size in the local header only
    int mode = -1; // a file's permission bits (04755, …); -1 for 0644
    // When set: the content is this many zero bytes, deflated and streamed (sizes only in a data
    // descriptor after the data, as a zip written to a pipe has them).
    qint64 streamedZeros = -1;
};

// Writes small zip archives entry by entry (stored, not compressed), with whatever names and
// link entries a test needs, including ones no well-behaved zip tool would write.
class ZipWriter
{
public:
    using Options = ZipEntryOptions;

    void addFile(const QString &name, const QByteArray &content, const Options &options = {})
    {
        m_entries.append({name, content, false, options});
    }
    void addLink(const QString &name, const QString &target, const Options &options = {})
    {
        m_entries.append({name, target.toUtf8(), true, options});
    }
    bool write(const QString &path) const;
    // No central directory: only a streaming reader can read it, entry by entry.
    void leaveOutDirectory() { m_withoutDirectory = true; }

private:
    struct Entry
    {
        QString name;
        QByteArray data;
        bool link;
        Options options;
    };
    QList<Entry> m_entries;
    bool m_withoutDirectory = false;
};
