#pragma once

#include "base/FriendlyError.h"
#include "release/Release.h"

#include <QJsonObject>

#include <optional>

class AppModel;

// How vantor-cli writes what it found: readable lines on a terminal, or one JSON object for
// scripts. The JSON keys are a contract with those scripts.
namespace CliOutput {

struct Options
{
    bool json = false;
    bool verbose = false;
    bool yes = false;
    bool system = false; // install into the system Applications folder
    bool reinstall = false; // install over an installed copy
    bool includeSkipped = false; // update: also to a skipped version
    bool noBackup = false; // update: without backing up the save states first
    bool withData = false; // uninstall: the data to the Trash too
    bool atRisk = false; // states: only those that may not load
    QString to = {}; // backup: the folder given, when one is
    QStringList with = {}; // uninstall: what goes to the Trash besides the app
    bool undo = false; // restore: the automatic backup of what the last restore replaced
    QString argument = {}; // the command's own argument (skip: the tag)
    QStringList arguments = {}; // bios-import: its paths, made absolute
    QStringList only = {}; // backup: the items to include
    bool progress = false; // a progress bar even when stderr is not a terminal
};

QJsonObject releaseJson(const Release &release, const std::optional<ReleaseAsset> &picked,
                        const std::optional<QString> &checksum);
QJsonObject statusJson(const AppModel &model);
QJsonObject errorJson(const FriendlyError &error);
QJsonObject tidyJson(const AppModel &model);

void printJson(const QJsonObject &object);
// The text without control characters (but line breaks and tabs): what reaches a terminal.
QString printable(const QString &text);
void printLine(const QString &line);
// A command's one-sentence result: {"notice": …} with json, else the sentence.
void printNotice(const QString &notice, const Options &options);

// The message on stderr (details too when verbose); with json the error object on stdout.
void printError(const FriendlyError &error, const Options &options);

} // namespace CliOutput
