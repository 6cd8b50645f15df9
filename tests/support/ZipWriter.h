#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Writes small zip archives entry by entry (stored, not compressed), with whatever names and
// link entries a test needs, including ones no well-behaved zip tool would write.
class ZipWriter
{
public:
    void addFile(const QString &name, const QByteArray &content) { m_entries.append({name, content, false}); }
    void addLink(const QString &name, const QString &target) { m_entries.append({name, target.toUtf8(), true}); }
    bool write(const QString &path) const;

private:
    struct Entry
    {
        QString name;
        QByteArray data;
        bool link;
    };
    QList<Entry> m_entries;
};
