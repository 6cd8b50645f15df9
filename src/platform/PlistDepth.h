#pragma once

#include <QByteArray>

// How deeply a property list nests its arrays and dictionaries, judged from its bytes before
// any parser sees them: a hostile Info.plist nested many thousands deep would exhaust the
// stack of a recursive parser, or take it very long.
namespace PlistDepth {

// True when the XML or binary property list nests at most maxDepth levels (and, for the
// binary form, its object references are well formed and free of cycles).
bool within(const QByteArray &bytes, int maxDepth);

} // namespace PlistDepth
