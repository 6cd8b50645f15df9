#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

// Bytes a background step has done: written on its thread, shown in the model's busy line ten
// times a second for as long as the relay lives.
struct ProgressRelay
{
    struct Counts
    {
        std::atomic<qint64> done = 0;
        std::atomic<qint64> total = 0;
    };
    std::shared_ptr<Counts> counts = std::make_shared<Counts>();
    QTimer poll;

    template <typename Show>
    explicit ProgressRelay(QObject *context, Show show)
    {
        QObject::connect(&poll, &QTimer::timeout, context,
                         [counts = counts, show] { show(counts->done.load(), counts->total.load()); });
        poll.start(100);
    }
    // For the background step: its progress callback.
    std::function<void(qint64, qint64)> callback() const
    {
        return [counts = counts](qint64 done, qint64 total) {
            counts->done = done;
            counts->total = total;
        };
    }
};
