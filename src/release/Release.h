#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// One file of a published release.
struct ReleaseAsset
{
    QString name;
    qint64 size = 0;
    std::optional<QUrl> browserDownloadUrl; // an asset without one is never chosen or fetched
    std::optional<QString> digest; // "sha256:" and 64 hex digits, as published
};

// The latest published release, as the feed describes it.
struct Release
{
    QString tagName;
    std::optional<QString> name;
    std::optional<QString> body; // release notes, Markdown
    std::optional<QString> htmlUrl;
    std::optional<QString> publishedAt; // kept as text, never parsed
    QList<ReleaseAsset> assets;
    bool draft = false; // only in the list of recent releases
    bool prerelease = false;
};
