#pragma once

#include "release/HttpGet.h"
#include "release/Release.h"

#include <qcoro/qcorotask.h>

#include <optional>

class QNetworkAccessManager;

// The release feed: the latest release, the file of it that Vantor installs, and the
// checksum the project published for that file.
namespace GitHubReleases {

inline const QString defaultFeedUrl
    = QStringLiteral("https://api.github.com/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases/latest");

// A feed reply is a few kilobytes; one this large is not a release description.
inline constexpr qint64 maxFeedBytes = 16 * 1024 * 1024;
inline constexpr qint64 maxChecksumFileBytes = 1024 * 1024;

// VANTOR_FEED_URL when set, else the project's own feed.
QString configuredFeedUrl();

// Throws FriendlyError for the failures it recognises (bad address, rate limit, unexpected
// status, undecodable reply) and PlatformError for transport failures.
QCoro::Task<Release> fetchLatest(QNetworkAccessManager &network, QString feedUrl,
                                 std::chrono::milliseconds deadline = HttpGet::defaultDeadline);

// When the latest release has no app file: the newest of the 20 most recent releases that is
// neither a draft nor a prerelease and has one (the feed address with "/latest" replaced by
// "?per_page=20"). None when there is none or the list cannot be had.
QCoro::Task<std::optional<Release>> fetchNewestWithApp(QNetworkAccessManager &network, QString feedUrl);

// The release's disk image, else its zip; only assets with a download address count, and never a
// core plugin's zip or a core-update release ("cores-v…").
std::optional<ReleaseAsset> pickAsset(const Release &release);

// 64 lower-case characters from the asset's digest or from a published checksum file, or
// none when the release publishes neither. Throws FriendlyError ("The release's checksum file
// couldn't be read, …", the reason in the details) when it lists a checksum file that can't be
// fetched or holds no checksum.
QCoro::Task<std::optional<QString>> expectedChecksum(QNetworkAccessManager &network, Release release,
                                                     ReleaseAsset asset);

// The first word of a checksum file's text that is 64 hexadecimal digits, lower-cased.
std::optional<QString> findChecksumWord(const QByteArray &text);

} // namespace GitHubReleases
