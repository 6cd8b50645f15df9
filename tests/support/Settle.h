#pragma once

#include "Await.h"

#include "app/AppModel.h"

#include <qcoro/qcorosignal.h>

namespace TestSupport {

// Waits until everything the model began (start(), a refresh) has ended.
inline void settle(AppModel &model)
{
    await([](AppModel &settling) -> QCoro::Task<> {
        if (settling.isSettling())
            co_await qCoro(&settling, &AppModel::settled);
    }(model));
}

} // namespace TestSupport
