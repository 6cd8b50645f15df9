// "Add BIOS Files…": files, folders and zips looked through, and the known dumps copied into
// OpenEmu's BIOS folder under the names it wants.

#include "app/AppModel.h"
#include "app/ProgressRelay.h"
#include "base/Background.h"
#include "base/Prompter.h"
#include "datacare/BiosImport.h"
#include "datacare/Cores.h"
#include "guide/GuideChecklist.h"
#include "platform/FileOps.h"

#include <QDir>

namespace {

QList<BiosImport::Known> knownFor(const std::optional<QString> &app)
{
    QList<BiosImport::Known> known;
    for (const KnownDump &dump : GuideChecklist::knownDumps(Cores::requiredFiles(Cores::installed(app))))
        known.append({dump.file, dump.md5, dump.bad});
    return known;
}

// The first few, then how many more: a folder of thousands of odd files says so in one line.
QString firstFew(const QStringList &items)
{
    constexpr int shown = 5;
    if (items.size() <= shown)
        return items.join(QStringLiteral(", "));
    return items.first(shown).join(QStringLiteral(", ")) + QStringLiteral(" and %1 more").arg(items.size() - shown);
}

} // namespace

QString BiosImportResult::summary() const
{
    QString text
        = added.isEmpty() ? QStringLiteral("No BIOS files were added.")
          : added.size() == 1
              ? QStringLiteral("Added 1 BIOS file: %1.").arg(added.first())
              : QStringLiteral("Added %1 BIOS files: %2.").arg(added.size()).arg(added.join(QStringLiteral(", ")));
    if (unrecognised == 1)
        text += QStringLiteral(" 1 file wasn't recognized.");
    else if (unrecognised > 1)
        text += QStringLiteral(" %1 files weren't recognized.").arg(unrecognised);
    if (!alreadyThere.isEmpty())
        text += QStringLiteral(" Already there: %1.").arg(alreadyThere.join(QStringLiteral(", ")));
    if (!skipped.isEmpty()) {
        QStringList each;
        for (const BiosImport::Skipped &one : skipped)
            each.append(QStringLiteral("%1 (%2)").arg(one.source, one.reason));
        text += QStringLiteral(" Skipped: %1.").arg(firstFew(each));
    }
    return text;
}

QCoro::Task<Outcome> AppModel::importBios(std::optional<QStringList> paths)
{
    return ChangeRunner::untilGone(biosImportFlow(std::move(paths)));
}

QCoro::Task<Outcome> AppModel::biosImportFlow(std::optional<QStringList> paths)
{
    std::optional<Change> change = beginChange(Work::biosImport);
    if (!change)
        co_return Outcome::failed;
    if (!paths) {
        const Prompter::Panel panel{Prompter::PanelId::biosFiles,
                                    QStringLiteral("Add"),
                                    QStringLiteral("Choose a folder with BIOS files. Vantor looks in its subfolders "
                                                   "and zips too, and adds the files OpenEmu knows."),
                                    {},
                                    true};
        auto choosing = m_prompter.choose(panel);
        const auto folder = co_await change->wait(choosing);
        if (!folder)
            co_return Outcome::declined;
        paths = QStringList{*folder};
    }
    const Outcome locked = co_await takeLock(*change);
    if (locked != Outcome::done)
        co_return locked;
    setError(std::nullopt);
    setNotice(std::nullopt);
    m_guide.lastImport = {};

    setBusyMessage(QStringLiteral("Looking for BIOS files…"));
    std::optional<ProgressRelay> progress(std::in_place, this,
                                          [this](qint64 done, qint64 of) { setBusyProgress(done, of); });
    struct Looked
    {
        BiosImport::Gathered gathered;
        QList<BiosImport::Known> known;
        QMap<QString, BiosImport::There> there;
    };
    auto looking
        = Background::run([sources = *paths, app = m_installed ? std::optional(m_installed->url) : std::nullopt,
                           report = progress->callback()] {
              Looked looked;
              looked.known = knownFor(app);
              looked.gathered = BiosImport::gather(sources, looked.known, report);
              for (const BiosImport::Match &match : std::as_const(looked.gathered.matches))
                  looked.there.insert(match.name, BiosImport::whatIsThere(match.name, looked.known));
              return looked;
          });
    auto looked = co_await change->wait(looking);
    progress.reset();
    setBusyMessage(std::nullopt);
    setBusyProgress(0, 0);

    BiosImportResult result;
    QList<BiosImport::Match> toPlace;
    QStringList toReplace;
    try {
        const Looked found = looked.take();
        result.unrecognised = found.gathered.unrecognised;
        result.skipped = found.gathered.skipped;
        for (const BiosImport::Match &match : found.gathered.matches) {
            const BiosImport::There there = found.there.value(match.name);
            // A good dump already there is never replaced.
            if (there == BiosImport::There::known) {
                result.alreadyThere.append(match.name);
                continue;
            }
            if (there == BiosImport::There::other)
                toReplace.append(match.name);
            toPlace.append(match);
        }
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Adding BIOS files"));
    }

    if (!toReplace.isEmpty()) {
        const Prompter::Alert question{
            Prompter::AlertId::replaceBios,
            toReplace.size() == 1 ? QStringLiteral("Replace %1?").arg(toReplace.first())
                                  : QStringLiteral("Replace %1 BIOS files?").arg(toReplace.size()),
            QStringLiteral("OpenEmu's BIOS folder has a file Vantor doesn't recognise under %1. It will be moved "
                           "to the Trash and replaced by the known dump you're adding.")
                .arg(toReplace.join(QStringLiteral(", "))),
            {QStringLiteral("Replace"), QStringLiteral("Keep")},
            Prompter::Style::warning,
            1};
        auto asking = m_prompter.ask(question);
        if (co_await change->wait(asking) != 0) {
            for (const QString &name : std::as_const(toReplace))
                result.skipped.append({name, QStringLiteral("kept the file already there")});
            toPlace.erase(std::remove_if(toPlace.begin(), toPlace.end(),
                                         [&](const BiosImport::Match &m) { return toReplace.contains(m.name); }),
                          toPlace.end());
            toReplace.clear();
        }
    }

    Outcome outcome = Outcome::done;
    if (!toPlace.isEmpty()) {
        setBusyMessage(QStringLiteral("Adding BIOS files…"));
        auto placing = Background::run([toPlace, toReplace] {
            // Nothing of the user's is deleted: what is replaced goes to the Trash first.
            const QString folder = BiosImport::folder();
            for (const QString &name : toReplace)
                FileOps::moveToTrash(QDir(folder).filePath(name));
            BiosImport::place(toPlace);
        });
        auto placed = co_await change->wait(placing, Outcome::done);
        setBusyMessage(std::nullopt);
        try {
            placed.take();
            for (const BiosImport::Match &match : std::as_const(toPlace))
                result.added.append(match.name);
        } catch (...) {
            outcome = fail(std::current_exception(), QStringLiteral("Adding BIOS files"));
        }
    }
    if (outcome == Outcome::done)
        setNotice(result.summary());
    m_guide.lastImport = result;
    // The guide shows what was added before the change ends.
    auto rescanning = refreshBIOS();
    co_await change->wait(rescanning, outcome);
    co_return outcome;
}
