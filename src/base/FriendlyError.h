#pragma once

#include <QString>
#include <QUuid>

#include <exception>

struct PlatformError;

// A failure as the user sees it: one plain sentence for the banner and technical details
// for whoever asks. Thrown by code that knows what went wrong; everything else becomes one
// through from().
struct FriendlyError
{
    QUuid id;
    QString message;
    QString details;

    explicit FriendlyError(QString message, QString details = {});

    // Turns any thrown value into a FriendlyError. A FriendlyError comes back unchanged; any
    // other failure gets a message chosen by its domain and code, and details that start
    // with the context (a short phrase naming the action, e.g. "Checking for the latest release").
    static FriendlyError from(std::exception_ptr error, const QString &context);
    static FriendlyError from(const PlatformError &error, const QString &context);

    // A change to the OpenEmu app refused with EPERM: on macOS 13 and later, replacing or removing
    // an app another developer signed needs the user's leave (App Management). The sentence says
    // where to give it; the details keep the system's text. Anything else passes through as is.
    [[noreturn]] static void rethrowForAppChange(std::exception_ptr error);
};

// Thrown when the user cancels a running action. Never a PlatformError: the flows that
// can be cancelled catch it and report the cancellation in their own words.
struct Cancelled
{
};
