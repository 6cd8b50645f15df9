#include "platform/PlistDepth.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace PlistDepth {

namespace {

quint64 bigEndian(const char *bytes, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | quint8(bytes[i]);
    return value;
}

bool xmlWithin(const QByteArray &bytes, int maxDepth)
{
    int depth = 0;
    for (qsizetype at = bytes.indexOf('<'); at >= 0; at = bytes.indexOf('<', at + 1)) {
        const bool closing = at + 1 < bytes.size() && bytes[at + 1] == '/';
        const qsizetype nameStart = at + (closing ? 2 : 1);
        const bool container = bytes.mid(nameStart, 5) == "dict>" || bytes.mid(nameStart, 6) == "array>";
        if (!container)
            continue;
        depth += closing ? -1 : 1;
        if (depth > maxDepth)
            return false;
    }
    return true;
}

// The binary form: a table of objects that refer to each other by index. Walked without
// recursion; every object's height is found once, and a reference back into the path being
// walked is a cycle.
bool binaryWithin(const QByteArray &bytes, int maxDepth, quint64 objects)
{
    if (bytes.size() < 8 + 32)
        return false;
    const char *trailer = bytes.constData() + bytes.size() - 32;
    const int offsetSize = quint8(trailer[6]);
    const int refSize = quint8(trailer[7]);
    const quint64 count = bigEndian(trailer + 8, 8);
    const quint64 top = bigEndian(trailer + 16, 8);
    const quint64 tableAt = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count
        || count > quint64(bytes.size()) || tableAt + count * quint64(offsetSize) > quint64(bytes.size()) - 32)
        return false;

    auto offsetOf = [&](quint64 object) {
        return bigEndian(bytes.constData() + tableAt + object * quint64(offsetSize), offsetSize);
    };
    // The references an array, set or dictionary holds; none for other objects.
    auto references = [&](quint64 object, std::vector<quint64> &out) {
        out.clear();
        const quint64 at = offsetOf(object);
        if (at >= tableAt)
            return false;
        const quint8 marker = quint8(bytes[qsizetype(at)]);
        const int kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD)
            return true;
        quint64 entries = marker & 0x0F;
        quint64 refsAt = at + 1;
        if (entries == 0x0F) {
            if (refsAt >= tableAt || quint8(bytes[qsizetype(refsAt)]) >> 4 != 0x1)
                return false;
            const int size = 1 << (quint8(bytes[qsizetype(refsAt)]) & 0x0F);
            if (size > 8 || refsAt + 1 + quint64(size) > tableAt)
                return false;
            entries = bigEndian(bytes.constData() + refsAt + 1, size);
            refsAt += 1 + quint64(size);
        }
        const quint64 refs = kind == 0xD ? entries * 2 : entries;
        if (refs > count * 2 || refsAt + refs * quint64(refSize) > tableAt)
            return false;
        for (quint64 i = 0; i < refs; ++i) {
            const quint64 ref = bigEndian(bytes.constData() + refsAt + i * quint64(refSize), refSize);
            if (ref >= count)
                return false;
            out.push_back(ref);
        }
        return true;
    };

    enum : quint8 { unseen, walking, done };
    std::vector<quint8> state(count, unseen);
    // How many objects each one becomes once its references are expanded into copies, as a
    // parser does: an object referred to a thousand times is a thousand objects. Capped just
    // past the budget so the sums can't overflow.
    std::vector<quint64> expanded(count, 1);
    const auto add = [&](quint64 &sum, quint64 more) { sum = std::min(sum + more, objects + 1); };
    struct Frame
    {
        quint64 object;
        std::vector<quint64> children;
        size_t next = 0;
    };
    std::vector<Frame> path;
    std::vector<quint64> children;
    if (!references(top, children))
        return false;
    path.push_back({top, children});
    state[top] = walking;
    while (!path.empty()) {
        Frame &frame = path.back();
        if (frame.next == frame.children.size()) {
            state[frame.object] = done;
            quint64 total = 1;
            for (const quint64 child : frame.children)
                add(total, expanded[child]);
            expanded[frame.object] = total;
            path.pop_back();
            continue;
        }
        const quint64 child = frame.children[frame.next++];
        if (state[child] == walking)
            return false; // a cycle
        if (state[child] == done)
            continue;
        if (!references(child, children))
            return false;
        if (!children.empty()) {
            if (int(path.size()) + 1 > maxDepth)
                return false;
            state[child] = walking;
            path.push_back({child, children});
        } else {
            state[child] = done;
        }
    }
    return expanded[top] <= objects;
}

} // namespace

bool within(const QByteArray &bytes, int maxDepth, quint64 objects)
{
    if (bytes.startsWith("bplist00"))
        return binaryWithin(bytes, maxDepth, objects);
    return xmlWithin(bytes, maxDepth);
}

} // namespace PlistDepth
