#include "platform/Thing.h"

namespace Thing {

void take(const QString &path, Mode mode)
{
    (void)path;
    (void)mode;
}

qint64 measure(const QString &)
{
    return 0;
}

Box Box::make(int count)
{
    return Box{count};
}

int Box::size() const
{
    return m_size;
}

} // namespace Thing
