#pragma once

#include <QByteArray>

// How deeply a property list nests its arrays and dictionaries, and how many objects it becomes,
// judged from its bytes before any parser sees them: a hostile Info.plist nested many thousands
// deep would exhaust the stack of a recursive parser, and one that repeats its references would
// take gigabytes to expand.
namespace PlistDepth {

// The most objects a property list may hold once read. A binary one refers to its objects by
// number, so 200 bytes can name one array a million times; a parser copies each reference.
inline constexpr quint64 maxObjects = 100'000;

// True when the XML or binary property list nests at most maxDepth levels (and, for the
// binary form, its object references are well formed, free of cycles, and expand to at most
// `objects` objects).
bool within(const QByteArray &bytes, int maxDepth, quint64 objects = maxObjects);

} // namespace PlistDepth
