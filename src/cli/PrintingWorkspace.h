#pragma once

#include "platform/Workspace.h"

#include <cstdio>

// A terminal has no file manager window to show; it prints where the item is instead.
class PrintingWorkspace : public Workspace
{
public:
    void reveal(const QString &path) override { std::fprintf(stderr, "%s\n", qPrintable(path)); }
    void open(const QUrl &url) override { std::fprintf(stderr, "%s\n", qPrintable(url.toString())); }
};
