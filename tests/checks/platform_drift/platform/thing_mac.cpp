#include "platform/Thing.h"

namespace Thing {

// A parameter's type changed.
void take(const QByteArray &path, Mode mode)
{
    (void)path;
    (void)mode;
}

// Defined outside its namespace, correctly.
} // namespace Thing

qint64 Thing::measure(const QString &path)
{
    return path.size();
}

// The const lost, and the static function renamed.
Thing::Box Thing::Box::create(int count)
{
    return Box{count};
}
int Thing::Box::size()
{
    return m_size;
}
