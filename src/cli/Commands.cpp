#include "cli/Commands.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "cli/ProgressReport.h"
#include "datacare/UninstallItems.h"
#include "guide/ControllerMonitor.h"
#include "guide/GuideChecklist.h"
#include "install/VersionChecker.h"
#include "release/GitHubReleases.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <langinfo.h>
#include <unistd.h>

namespace Commands {

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

// ✓, ⚠ and ✗ where the terminal's character set has them, else [x], [!] and [ ].
QString mark(GuideChecklist::Readiness state)
{
    static const bool utf8 = QByteArray(::nl_langinfo(CODESET)).toUpper().replace('-', "") == "UTF8";
    switch (state) {
    case GuideChecklist::Readiness::ready: return utf8 ? QStringLiteral("✓") : QStringLiteral("[x]");
    case GuideChecklist::Readiness::warning: return utf8 ? QStringLiteral("⚠") : QStringLiteral("[!]");
    case GuideChecklist::Readiness::missing: break;
    }
    return utf8 ? QStringLiteral("✗") : QStringLiteral("[ ]");
}

// An action's outcome as the exit status, with its error, or its notice, printed.
int report(const AppModel &model, Outcome outcome, const CliOutput::Options &options)
{
    if (outcome == Outcome::failed) {
        CliOutput::printError(model.error().value_or(FriendlyError(QStringLiteral("The action failed."))), options);
        return failure;
    }
    const std::optional<QString> notice = outcome == Outcome::declined ? std::nullopt : model.notice();
    // Whoever declined is told why, a script in its JSON too.
    const QString why = !options.yes && !::isatty(STDIN_FILENO)
                            ? QStringLiteral("Nothing was changed. Pass --yes to confirm without a question.")
                            : QStringLiteral("Nothing was changed.");
    if (options.json) {
        QJsonObject object{{QStringLiteral("notice"), notice ? QJsonValue(*notice) : QJsonValue()}};
        if (!notice)
            object.insert(QStringLiteral("declined"), why);
        CliOutput::printJson(object);
    } else if (notice) {
        CliOutput::printLine(*notice);
    }
    if (!notice)
        std::fprintf(stderr, "%s\n", qPrintable(why));
    return outcome == Outcome::done ? success : declined;
}

// Ctrl-C, SIGTERM and SIGHUP raise a flag, which the event loop looks at: a running download
// is cancelled like the Cancel button; an unpack or placement step finishes first.
std::atomic<bool> interrupted = false;
std::atomic<int> interruptedBy = 0;

void onInterrupt(int signal)
{
    interruptedBy = signal;
    interrupted = true;
}

} // namespace

void installSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a question waiting for its answer is declined
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool wasInterrupted()
{
    return interrupted;
}

int interruptSignal()
{
    return interruptedBy;
}

namespace {

// The installed app's version for JSON: null when there is none.
QJsonValue installedVersion(const AppModel &model)
{
    return model.installed() ? QJsonValue(model.installed()->version) : QJsonValue();
}

QCoro::Task<int> runInstall(AppModel &model, CliOutput::Options options, bool isUpdate)
{
    if (!model.latest() && model.error()) {
        CliOutput::printError(*model.error(), options); // the release check failed: say why
        co_return failure;
    }
    model.setInstallToSystemApplications(options.system);

    ProgressReport progress(model, options.progress);
    QTimer watch;
    bool cancelled = false;
    QObject::connect(&watch, &QTimer::timeout, &model, [&model, &cancelled] {
        if (interrupted && !cancelled) {
            cancelled = true;
            model.cancelInstall();
        }
    });
    watch.start(100);

    const QJsonValue from = installedVersion(model);
    const Outcome outcome = co_await model.install(isUpdate);
    watch.stop();
    if (options.json && outcome == Outcome::done) {
        // The versions either side, and which save states the update put at risk, for a script.
        QJsonObject object{{QStringLiteral("notice"), model.notice().value_or(QString())},
                           {QStringLiteral("from"), from},
                           {QStringLiteral("to"), installedVersion(model)}};
        if (!model.updateCoreChanges().isEmpty()) {
            QJsonArray cores;
            for (const SaveStateJudge::CoreChange &change : model.updateCoreChanges()) {
                cores.append(
                    QJsonObject{{QStringLiteral("core"), change.name},
                                {QStringLiteral("from"), change.from},
                                {QStringLiteral("to"), change.to.isEmpty() ? QJsonValue() : QJsonValue(change.to)},
                                {QStringLiteral("saveStates"), change.states}});
            }
            object.insert(QStringLiteral("saveStatesAtRisk"), SaveStateJudge::stateCount(model.updateCoreChanges()));
            object.insert(QStringLiteral("coreChanges"), cores);
        }
        CliOutput::printJson(object);
        co_return success;
    }
    if (outcome == Outcome::failed && model.error()
        && model.error()->message.startsWith(AppModel::autoBackupFailed())) {
        // The window's checkbox means nothing here: the command line's own ways on.
        FriendlyError error = *model.error();
        error.message = AppModel::autoBackupFailed()
                        + QStringLiteral(" To update without it this once, add --no-backup; to stop backing up "
                                         "first, run vantor-cli set auto-backup off.");
        CliOutput::printError(error, options);
        co_return failure;
    }
    co_return report(model, outcome, options);
}

// Runs an action that reports through notice and error, starting from neither.
QCoro::Task<int> runAction(AppModel &model, CliOutput::Options options, QCoro::Task<Outcome> action)
{
    const Outcome outcome = co_await std::move(action);
    co_return report(model, outcome, options);
}

} // namespace

QCoro::Task<int> status(AppModel &model, CliOutput::Options options)
{
    const QJsonObject object = CliOutput::statusJson(model);
    const auto &error = model.error();
    // What the start did on its own (finishing an interrupted update, say) is worth saying.
    const auto &notice = model.notice();
    if (options.json) {
        QJsonObject withError = object;
        withError.insert(QStringLiteral("notice"), notice ? QJsonValue(*notice) : QJsonValue());
        if (error)
            withError.insert(QStringLiteral("error"), CliOutput::errorJson(*error).value(QStringLiteral("error")));
        CliOutput::printJson(withError);
    } else {
        const QJsonObject host = object.value(QStringLiteral("host")).toObject();
        CliOutput::printLine(QStringLiteral("macOS: %1 (macOS 11 or later: %2, Apple silicon: %3)")
                                 .arg(host.value(QStringLiteral("macVersion")).toString(),
                                      yesNo(host.value(QStringLiteral("macOSRequirement")).toBool()),
                                      yesNo(host.value(QStringLiteral("appleSilicon")).toBool())));
        if (const auto &app = model.installed())
            CliOutput::printLine(
                QStringLiteral("Installed: OpenEmu %1 at %2 (%3)").arg(app->version, app->url, app->bundleID));
        else
            CliOutput::printLine(QStringLiteral("Installed: not found"));
        CliOutput::printLine(QStringLiteral("Previous version kept: %1").arg(yesNo(model.hasPrevious())));
        CliOutput::printLine(QStringLiteral("Latest release: %1")
                                 .arg(!model.latest()           ? QStringLiteral("unknown")
                                      : model.latestIsSkipped() ? model.latest()->tagName + QStringLiteral(" (skipped)")
                                                                : model.latest()->tagName));
        CliOutput::printLine(QStringLiteral("Update available: %1")
                                 .arg(model.latest()  ? yesNo(model.updateAvailable())
                                      : model.error() ? QStringLiteral("unknown (the release check failed)")
                                                      : QStringLiteral("unknown")));
        if (notice)
            CliOutput::printLine(*notice);
    }
    if (error) {
        // The status is still worth printing offline; the failed check is reported beside it.
        CliOutput::printError(*error, {false, options.verbose});
        co_return failure;
    }
    co_return success;
}

QCoro::Task<int> latest(AppModel &model, CliOutput::Options options)
{
    if (const auto &error = model.error()) {
        CliOutput::printError(*error, options);
        co_return failure;
    }
    if (!model.latest()) {
        CliOutput::printError(FriendlyError(QStringLiteral("No release information is available.")), options);
        co_return failure;
    }
    const Release release = *model.latest();
    const auto picked = GitHubReleases::pickAsset(release);
    std::optional<QString> checksum;
    if (picked) {
        try {
            auto lookingUp = GitHubReleases::expectedChecksum(model.network(), release, *picked);
            checksum = co_await std::move(lookingUp);
        } catch (const FriendlyError &e) {
            // Said, but not a failure of this command: it only describes the release.
            CliOutput::printError(
                FriendlyError(QStringLiteral("The release's checksum file couldn't be read."), e.details),
                {.verbose = options.verbose});
        }
    }

    QJsonObject object = CliOutput::releaseJson(release, picked, checksum);
    const auto &fallback = model.fallbackNote();
    if (options.json) {
        object.insert(QStringLiteral("fallbackNote"), fallback ? QJsonValue(*fallback) : QJsonValue());
        CliOutput::printJson(object);
        co_return success;
    }
    if (fallback)
        CliOutput::printLine(*fallback);
    CliOutput::printLine(
        QStringLiteral("Latest release: %1%2")
            .arg(release.tagName, release.name ? QStringLiteral(" (%1)").arg(*release.name) : QString()));
    if (release.publishedAt)
        CliOutput::printLine(QStringLiteral("Published: %1").arg(*release.publishedAt));
    if (release.htmlUrl)
        CliOutput::printLine(QStringLiteral("Page: %1").arg(*release.htmlUrl));
    CliOutput::printLine(QStringLiteral("Files:"));
    for (const ReleaseAsset &asset : release.assets)
        CliOutput::printLine(QStringLiteral("  %1 (%2 bytes)").arg(asset.name).arg(asset.size));
    CliOutput::printLine(QStringLiteral("Would install: %1")
                             .arg(picked ? picked->name : QStringLiteral("nothing (no disk image or zip)")));
    if (picked)
        CliOutput::printLine(QStringLiteral("Published SHA-256: %1").arg(checksum.value_or(QStringLiteral("none"))));
    co_return success;
}

QCoro::Task<int> install(AppModel &model, CliOutput::Options options)
{
    // An installed copy is replaced only when asked: --reinstall replaces it as an update does.
    if (model.installed() && !options.reinstall) {
        // Nothing to do is an answer, not a failure; an older copy is the update's job.
        if (model.latest() && !model.updateAvailable() && !model.latestIsSkipped()) {
            CliOutput::printNotice(QStringLiteral("OpenEmu-Silicon %1 is already installed and up to date.")
                                       .arg(model.installed()->version),
                                   options);
            co_return success;
        }
        CliOutput::printError(FriendlyError(QStringLiteral("OpenEmu-Silicon is already installed. Use 'vantor-cli "
                                                           "update' to update it.")),
                              options);
        co_return failure;
    }
    co_return co_await runInstall(model, options, model.installed().has_value());
}

QCoro::Task<int> skip(AppModel &model, CliOutput::Options options)
{
    QString tag = options.argument;
    if (tag.isEmpty()) {
        if (!model.latest()) {
            CliOutput::printError(model.error().value_or(FriendlyError(QStringLiteral("No release information is "
                                                                                      "available."))),
                                  options);
            co_return failure;
        }
        tag = model.latest()->tagName;
    }
    model.skipVersion(tag);
    const QString notice = QStringLiteral("Vantor won't offer %1 until a newer release.").arg(tag);
    CliOutput::printNotice(notice, options);
    co_return success;
}

QCoro::Task<int> set(AppModel &model, CliOutput::Options options)
{
    // "auto-backup on" or "auto-backup off"; checked by the command line before it runs.
    const bool on = options.argument.section(QLatin1Char(' '), 1) == QStringLiteral("on");
    model.setAutoBackupBeforeUpdate(on);
    const QString notice = on ? QStringLiteral("Updates back up the save states and battery saves first.")
                              : QStringLiteral("Updates no longer back up the save states and battery saves first.");
    CliOutput::printNotice(notice, options);
    co_return success;
}

QCoro::Task<int> unskip(AppModel &model, CliOutput::Options options)
{
    const QString notice = model.skippedVersion()
                               ? QStringLiteral("Vantor will offer %1 again.").arg(*model.skippedVersion())
                               : QStringLiteral("No version is skipped.");
    model.offerSkippedVersionAgain();
    CliOutput::printNotice(notice, options);
    co_return success;
}

QCoro::Task<int> update(AppModel &model, CliOutput::Options options)
{
    // Already current, whatever was skipped: nothing to do, and said so.
    if (model.installed() && model.latest()
        && VersionChecker::compare(model.installed()->version, model.latest()->tagName)
               != VersionChecker::Ordering::ascending) {
        CliOutput::printNotice(QStringLiteral("OpenEmu-Silicon %1 is up to date.").arg(model.installed()->version),
                               options);
        co_return success;
    }
    if (model.latestIsSkipped() && !options.includeSkipped) {
        CliOutput::printError(
            FriendlyError(
                QStringLiteral("%1 is skipped. Pass --include-skipped to update to it.").arg(model.latest()->tagName)),
            options);
        co_return failure;
    }
    if (model.latestIsSkipped())
        model.offerSkippedVersionAgain(); // asked for by name: no longer skipped
    if (options.noBackup)
        model.skipNextAutoBackup();
    if (!model.installed()) {
        CliOutput::printError(FriendlyError(QStringLiteral("OpenEmu-Silicon isn't installed yet, so there is nothing "
                                                           "to update. Install it first.")),
                              options);
        co_return failure;
    }
    if (model.latest() && !model.updateAvailable()) {
        const QString notice = QStringLiteral("OpenEmu-Silicon %1 is up to date.").arg(model.installed()->version);
        CliOutput::printNotice(notice, options);
        co_return success;
    }
    co_return co_await runInstall(model, options, true);
}

QCoro::Task<int> rollback(AppModel &model, CliOutput::Options options)
{
    model.setError(std::nullopt);
    model.setNotice(std::nullopt);
    // With nothing to go to, the model says why.
    const QJsonValue from = installedVersion(model);
    const Outcome outcome = co_await model.rollback();
    if (!options.json || outcome != Outcome::done)
        co_return report(model, outcome, options);
    CliOutput::printJson({{QStringLiteral("notice"), model.notice().value_or(QString())},
                          {QStringLiteral("from"), from},
                          {QStringLiteral("to"), installedVersion(model)}});
    co_return success;
}

QCoro::Task<int> launch(AppModel &model, CliOutput::Options options)
{
    model.setError(std::nullopt);
    if (!model.installed()) {
        CliOutput::printError(FriendlyError(QStringLiteral("OpenEmu-Silicon isn't installed.")), options);
        co_return failure;
    }
    const Outcome outcome = co_await model.launch();
    if (outcome == Outcome::failed) {
        CliOutput::printError(*model.error(), options);
        co_return failure;
    }
    const QString notice = QStringLiteral("Opened %1.").arg(model.installed()->url);
    CliOutput::printNotice(notice, options);
    co_return success;
}

QCoro::Task<int> tidy(AppModel &model, CliOutput::Options options)
{
    if (options.json) {
        CliOutput::printJson(CliOutput::tidyJson(model));
        co_return success;
    }
    for (const TidyRow &row : model.tidyRows()) {
        CliOutput::printLine(QStringLiteral("%1: %2 (%3)")
                                 .arg(row.title, row.url, row.exists ? ByteCount::fileStyle(row.size) : row.absent()));
    }
    co_return success;
}

QCoro::Task<int> cores(AppModel &model, CliOutput::Options options)
{
    const QList<Core> installed = model.cores(); // read at start
    if (options.json) {
        QJsonArray rows;
        for (const Core &core : installed)
            rows.append(QJsonObject{{QStringLiteral("name"), core.name},
                                    {QStringLiteral("identifier"), core.identifier},
                                    {QStringLiteral("version"), core.version},
                                    {QStringLiteral("place"), core.place},
                                    {QStringLiteral("path"), core.path},
                                    {QStringLiteral("systems"), QJsonArray::fromStringList(core.systems)}});
        CliOutput::printJson({{QStringLiteral("cores"), rows}});
        co_return success;
    }
    if (installed.isEmpty())
        CliOutput::printLine(QStringLiteral("No cores found."));
    // Systems by their names, as the installed app (or the project's BIOS table) gives them.
    QHash<QString, QString> names;
    for (const BIOSEntry &entry : ProjectDocs::biosTable())
        names.insert(entry.systemId, entry.system);
    for (const SystemInfo &system : model.systems()) {
        if (!system.identifier.isEmpty())
            names.insert(system.identifier, system.name);
    }
    for (const Core &core : installed) {
        QStringList systems;
        for (const QString &identifier : core.systems)
            systems.append(names.value(identifier, identifier));
        CliOutput::printLine(QStringLiteral("%1 %2 (%3, %4): %5")
                                 .arg(CliOutput::printable(core.name),
                                      CliOutput::printable(core.version.isEmpty() ? QStringLiteral("?") : core.version),
                                      CliOutput::printable(core.identifier),
                                      core.place == QStringLiteral("support") ? QStringLiteral("Application Support")
                                                                              : QStringLiteral("in the app"),
                                      CliOutput::printable(systems.join(QStringLiteral(", ")))));
    }
    co_return success;
}

QCoro::Task<int> states(AppModel &model, CliOutput::Options options)
{
    QJsonArray rows;
    int risky = 0;
    auto reading = model.refreshSaveStates();
    co_await std::move(reading);
    if (const auto &away = model.saveStatesUnreachable()) {
        CliOutput::printError(
            FriendlyError(QStringLiteral("A folder OpenEmu uses can't be reached. Is its drive connected?"), *away),
            options);
        co_return failure;
    }
    const QList<JudgedState> all = model.saveStates();
    for (const JudgedState &judged : all) {
        const SaveState &state = judged.state;
        const bool atRisk = SaveStateJudge::atRisk(judged);
        risky += atRisk ? 1 : 0;
        if (options.atRisk && !atRisk)
            continue;
        if (options.json) {
            rows.append(QJsonObject{{QStringLiteral("system"), state.system},
                                    {QStringLiteral("game"), state.game},
                                    {QStringLiteral("name"), state.name},
                                    {QStringLiteral("path"), state.path},
                                    {QStringLiteral("core"), state.coreIdentifier},
                                    {QStringLiteral("madeWith"), state.coreVersion.value_or(QString())},
                                    {QStringLiteral("installed"), judged.installedVersion},
                                    {QStringLiteral("date"), state.date.toString(Qt::ISODate)},
                                    {QStringLiteral("size"), state.size},
                                    {QStringLiteral("judgement"), judged.judgement}});
            continue;
        }
        // Words here; the codes are in --json's "judgement".
        CliOutput::printLine(
            CliOutput::printable(QStringLiteral("%1 / %2 / %3: %4")
                                     .arg(state.system, state.game, state.name, SaveStateJudge::explain(judged))));
    }
    const QString leftOut = SaveStateJudge::leftOutNote(model.saveStatesLeftOut());
    if (options.json)
        CliOutput::printJson({{QStringLiteral("states"), rows},
                              {QStringLiteral("atRisk"), risky},
                              {QStringLiteral("leftOut"), qint64(model.saveStatesLeftOut())}});
    else
        CliOutput::printLine(SaveStateJudge::summary(all)
                             + (leftOut.isEmpty() ? QString() : QLatin1Char(' ') + leftOut));
    co_return success;
}

QCoro::Task<int> backup(AppModel &model, CliOutput::Options options)
{
    if (!options.only.isEmpty()) {
        const QList<BackupItem> items = model.backupItems(); // each change replaces the model's list
        for (const BackupItem &item : items)
            model.setBackupItemIncluded(item.id, options.only.contains(item.id) && item.exists);
    }
    model.setError(std::nullopt);
    ProgressReport progress(model, options.progress);
    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    QCoro::Task<Outcome> backingUp
        = model.runBackup(options.to.isEmpty() ? std::nullopt : std::optional<QString>(options.to));
    const Outcome outcome = co_await std::move(backingUp);
    if (!options.json || outcome == Outcome::failed)
        co_return report(model, outcome, options);
    // What a script needs to know besides the zip: each item, whether it went in, and where from.
    QJsonArray items;
    for (const BackupItem &item : model.backupItems())
        items.append(QJsonObject{{QStringLiteral("id"), item.id},
                                 {QStringLiteral("title"), item.title},
                                 {QStringLiteral("included"), item.include && item.exists},
                                 {QStringLiteral("size"), item.size},
                                 {QStringLiteral("from"), QJsonArray::fromStringList(item.sources)}});
    const std::optional<QString> notice = outcome == Outcome::declined ? std::nullopt : model.notice();
    const std::optional<QString> zip = outcome == Outcome::done ? model.noticeFile() : std::nullopt;
    CliOutput::printJson({{QStringLiteral("notice"), notice ? QJsonValue(*notice) : QJsonValue()},
                          {QStringLiteral("path"), zip ? QJsonValue(*zip) : QJsonValue()},
                          {QStringLiteral("items"), items}});
    co_return outcome == Outcome::done ? success : declined;
}

QCoro::Task<int> restore(AppModel &model, CliOutput::Options options)
{
    model.setError(std::nullopt);
    ProgressReport progress(model, options.progress);
    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    QCoro::Task<Outcome> restoring = options.undo ? model.undoRestore() : model.runRestore(options.arguments.value(0));
    const Outcome outcome = co_await std::move(restoring);
    if (outcome != Outcome::done)
        co_return report(model, outcome, options);
    const QString notice = model.notice().value_or(QString());
    const bool undoable = model.noticeAction() == AppModel::NoticeAction::undoRestore;
    if (options.json)
        CliOutput::printJson({{QStringLiteral("notice"), notice},
                              {QStringLiteral("undo"), undoable ? QJsonValue(*model.noticeFile()) : QJsonValue()}});
    else
        CliOutput::printLine(
            notice
            + (undoable ? QStringLiteral(" To put back what it replaced: vantor-cli restore --undo") : QString()));
    co_return success;
}

QCoro::Task<int> uninstall(AppModel &model, CliOutput::Options options)
{
    model.setError(std::nullopt);
    if (!model.installed()) {
        CliOutput::printError(FriendlyError(QStringLiteral("OpenEmu-Silicon isn't installed.")), options);
        co_return failure;
    }
    // The app, and what --with names (--with-data: all of OpenEmu's data, never Vantor's own
    // safety copies); the one question lists exactly what moves.
    QStringList ids{QStringLiteral("app")};
    if (options.withData) {
        ids = UninstallItems::ids();
        ids.removeAll(QStringLiteral("autobackups"));
    }
    for (const QString &id : std::as_const(options.with))
        if (!ids.contains(id))
            ids.append(id);
    QCoro::Task<Outcome> removing = model.uninstall(ids); // named: see restore()
    co_return co_await runAction(model, options, std::move(removing));
}

QCoro::Task<int> guide(AppModel &model, CliOutput::Options options)
{
    ControllerMonitor &monitor = ControllerMonitorHolder::shared().monitor();
    const auto &found = model.biosFound();
    const QList<GuideStep> steps = GuideChecklist::steps(model.installed().has_value(), model.gamesFolder(), found,
                                                         monitor.controllers().size(), model.gamesStepDone());
    if (options.json) {
        QJsonArray stepRows, biosRows, controllerRows;
        for (const GuideStep &step : steps)
            stepRows.append(QJsonObject{{QStringLiteral("id"), step.id},
                                        {QStringLiteral("title"), step.title},
                                        {QStringLiteral("done"), step.done},
                                        {QStringLiteral("detail"), step.detail}});
        for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
            QJsonArray checks;
            const QList<BiosCheck> judged
                = GuideChecklist::checks(entry, found, model.biosHashes(), model.knownDumps(), model.biosMisplaced());
            for (const BiosCheck &check : judged)
                checks.append(QJsonObject{
                    {QStringLiteral("file"), check.file},
                    {QStringLiteral("state"), GuideChecklist::stateName(check.state)},
                    {QStringLiteral("optional"), check.optional},
                    {QStringLiteral("path"), check.path ? QJsonValue(*check.path) : QJsonValue()},
                    {QStringLiteral("elsewhere"), check.elsewhere ? QJsonValue(*check.elsewhere) : QJsonValue()}});
            biosRows.append(QJsonObject{
                {QStringLiteral("system"), entry.system},
                {QStringLiteral("checks"), checks},
                {QStringLiteral("files"), QJsonArray::fromStringList(entry.files)},
                {QStringLiteral("anyOf"), entry.anyOf},
                {QStringLiteral("optional"), entry.optional},
                {QStringLiteral("note"), entry.note},
                {QStringLiteral("satisfied"), GuideChecklist::isSatisfied(entry, found)},
                {QStringLiteral("state"), GuideChecklist::readinessName(GuideChecklist::readiness(entry, judged))},
                {QStringLiteral("folder"), GuideChecklist::folder(entry, found)}});
        }
        for (const ControllerInfo &controller : monitor.controllers())
            controllerRows.append(
                QJsonObject{{QStringLiteral("name"), controller.name}, {QStringLiteral("kind"), controller.kind}});
        const auto &games = model.gamesFolder();
        CliOutput::printJson({{QStringLiteral("steps"), stepRows},
                              {QStringLiteral("gamesFolder"), games ? QJsonValue(*games) : QJsonValue()},
                              {QStringLiteral("bios"), biosRows},
                              {QStringLiteral("controllers"), controllerRows}});
        co_return success;
    }
    for (const GuideStep &step : steps)
        CliOutput::printLine(QStringLiteral("%1 %2. %3: %4")
                                 .arg(step.done ? QStringLiteral("[x]") : QStringLiteral("[ ]"))
                                 .arg(step.id)
                                 .arg(step.title, step.detail));
    CliOutput::printLine(
        QStringLiteral("Games folder: %1").arg(model.gamesFolder().value_or(QStringLiteral("not chosen"))));
    CliOutput::printLine(QStringLiteral("BIOS files:"));
    for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
        // Each file with its state word: "scph5501.bin verified".
        QStringList files;
        const QList<BiosCheck> judged
            = GuideChecklist::checks(entry, found, model.biosHashes(), model.knownDumps(), model.biosMisplaced());
        for (const BiosCheck &check : judged)
            files.append(check.file + QLatin1Char(' ') + GuideChecklist::stateName(check.state)
                         + (check.optional && !entry.optional ? QStringLiteral(" (optional)") : QString()));
        CliOutput::printLine(QStringLiteral("  %1 %2: %3%4")
                                 .arg(mark(GuideChecklist::readiness(entry, judged)), entry.system,
                                      files.join(entry.anyOf ? QStringLiteral(" or ") : QStringLiteral(" and ")),
                                      entry.optional ? QStringLiteral(" (optional)") : QString()));
        // Where OpenEmu never looks, and the way into its BIOS folder.
        for (const BiosCheck &check : judged) {
            if (check.elsewhere)
                CliOutput::printLine(
                    QStringLiteral("    %1 is in %2, where OpenEmu doesn't look: vantor-cli bios-import '%2'")
                        .arg(check.file, *check.elsewhere));
        }
    }
    CliOutput::printLine(QStringLiteral("Controllers:"));
    if (monitor.controllers().isEmpty())
        CliOutput::printLine(QStringLiteral("  none connected"));
    for (const ControllerInfo &controller : monitor.controllers())
        CliOutput::printLine(QStringLiteral("  %1 (%2)").arg(controller.name, controller.kind));
    co_return success;
}

QCoro::Task<int> systems(AppModel &model, CliOutput::Options options)
{
    // The installed app's systems and cores, read now.
    auto reading = model.refreshCores();
    co_await std::move(reading);
    if (options.json) {
        QJsonArray rows;
        for (const SystemInfo &system : model.systems())
            rows.append(QJsonObject{{QStringLiteral("name"), system.name},
                                    {QStringLiteral("core"), system.core},
                                    {QStringLiteral("bios"), system.bios ? QJsonValue(*system.bios) : QJsonValue()},
                                    {QStringLiteral("note"), system.note}});
        CliOutput::printJson({{QStringLiteral("systems"), rows}});
        co_return success;
    }
    for (const SystemInfo &system : model.systems()) {
        QString line = system.name + QStringLiteral(": ") + system.core;
        if (system.bios)
            line += QStringLiteral(" · BIOS: ") + *system.bios;
        if (!system.note.isEmpty())
            line += QStringLiteral(" · ") + system.note;
        CliOutput::printLine(line);
    }
    co_return success;
}

QCoro::Task<int> setGamesFolder(AppModel &model, CliOutput::Options options)
{
    const Outcome chosen = co_await model.chooseGamesFolder();
    if (chosen != Outcome::done)
        co_return declined;
    const QString notice = QStringLiteral("Games folder: %1").arg(model.gamesFolder().value_or(QString()));
    CliOutput::printNotice(notice, options);
    co_return success;
}

QCoro::Task<int> biosImport(AppModel &model, CliOutput::Options options)
{
    const Outcome outcome = co_await model.importBios(options.arguments);
    if (options.json && outcome == Outcome::done) {
        const BiosImportResult &result = model.lastBiosImport();
        QJsonArray skipped;
        for (const BiosImport::Skipped &one : result.skipped)
            skipped.append(QJsonObject{{QStringLiteral("source"), one.source}, {QStringLiteral("reason"), one.reason}});
        CliOutput::printJson({{QStringLiteral("notice"), result.summary()},
                              {QStringLiteral("added"), QJsonArray::fromStringList(result.added)},
                              {QStringLiteral("unrecognised"), result.unrecognised},
                              {QStringLiteral("alreadyThere"), QJsonArray::fromStringList(result.alreadyThere)},
                              {QStringLiteral("skipped"), skipped}});
        co_return success;
    }
    co_return report(model, outcome, options);
}

} // namespace Commands
