#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The rule for symbolic links inside an app bundle taken from a download: a link stays only if
// its target is relative and, resolved from the link's folder, never leaves the bundle. ".." is
// taken only before any part that is itself a link, so a chain can't climb out through a link
// that points elsewhere. The same rule on both systems, whichever tool unpacked the bundle.
namespace BundleLinks {

// Whether the link at `linkPath` (its path below the bundle, one part per folder) with the stored
// `target` stays inside; `isLink` says whether a path below the bundle ("Contents/Resources/x")
// is itself a link.
bool staysInside(QStringList linkPath, const QString &target, const std::function<bool(const QString &)> &isLink);

// Removes every link in the bundle on disk that leaves it (a copy made by a tool that keeps
// links as they are), returning their paths below the bundle.
QStringList dropLeaving(const QString &bundle);

} // namespace BundleLinks
