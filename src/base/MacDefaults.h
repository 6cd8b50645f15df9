#pragma once

#include <QString>
#include <QVariant>

// The Mac's defaults domain of Vantor's bundle identifier ("app.vantor.Vantor"), through the
// preferences system (CFPreferences), so that cfprefsd's cached copy and ours are one. Strings,
// booleans, numbers and bytes; any other stored type reads as no value. Built on the Mac only.
namespace MacDefaults {

QVariant value(const QString &key);
// Stores the value and writes the domain out; an invalid QVariant removes the key.
void setValue(const QString &key, const QVariant &value);

} // namespace MacDefaults
