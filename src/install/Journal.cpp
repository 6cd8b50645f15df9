#include "install/Journal.h"

#include "base/Paths.h"
#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>

namespace JournalFile {

namespace {

QString kindName(Journal::Kind kind)
{
    return kind == Journal::Kind::update ? QStringLiteral("update") : QStringLiteral("rollback");
}

} // namespace

QString path()
{
    return QDir(Paths::vantorSupportFolder()).filePath(QStringLiteral("install-journal.json"));
}

void write(const Journal &journal)
{
    QJsonArray aside;
    for (const auto &[from, to] : journal.setAside)
        aside.append(QJsonArray{from, to});
    const QJsonObject object{
        {QStringLiteral("kind"), kindName(journal.kind)},
        {QStringLiteral("target"), journal.target},
        {QStringLiteral("staging"), journal.staging},
        {QStringLiteral("source"), journal.source},
        {QStringLiteral("keptDest"), journal.keptDest},
        {QStringLiteral("fallbackOld"), journal.fallbackOld},
        {QStringLiteral("setAside"), aside},
        {QStringLiteral("stagedInode"), QString::number(journal.stagedInode)},
        {QStringLiteral("pid"), QString::number(journal.pid)},
    };
    FileOps::makePath(Paths::vantorSupportFolder());
    FileOps::checkpoint(QStringLiteral("journal"));
    FileOps::replaceFile(path(), QJsonDocument(object).toJson()); // never through a planted link
}

std::optional<Journal> read()
{
    const auto text = FileOps::readRegularFile(path(), 1024 * 1024); // never through a planted link
    if (!text)
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(*text).object();
    const QString kind = object.value(QStringLiteral("kind")).toString();
    if (kind != QStringLiteral("update") && kind != QStringLiteral("rollback"))
        return std::nullopt;
    Journal journal;
    journal.kind = kind == QStringLiteral("update") ? Journal::Kind::update : Journal::Kind::rollback;
    journal.target = object.value(QStringLiteral("target")).toString();
    journal.staging = object.value(QStringLiteral("staging")).toString();
    journal.source = object.value(QStringLiteral("source")).toString();
    journal.keptDest = object.value(QStringLiteral("keptDest")).toString();
    journal.fallbackOld = object.value(QStringLiteral("fallbackOld")).toString();
    for (const QJsonValue &pair : object.value(QStringLiteral("setAside")).toArray())
        journal.setAside.append({pair.toArray().at(0).toString(), pair.toArray().at(1).toString()});
    journal.stagedInode = object.value(QStringLiteral("stagedInode")).toString().toLongLong();
    journal.pid = object.value(QStringLiteral("pid")).toString().toLongLong();
    if (journal.target.isEmpty() || journal.staging.isEmpty())
        return std::nullopt;
    return journal;
}

void remove()
{
    QFile::remove(path());
}

} // namespace JournalFile
