#include "Bundles.h"
#include "CliRun.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "TestFiles.h"
#include "TestHome.h"

#include "base/ByteCount.h"
#include "cli/CommandTable.h"
#include "cli/ProgressReport.h"

#include <QtTest>

#include <csignal>
#include <poll.h>
#ifdef Q_OS_MACOS
#include <util.h> // forkpty
#else
#include <pty.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString feedPath = u"/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases/latest"_s;

using CliRunner::run;

// Runs vantor-cli on a pseudo-terminal (standard input, output and error), typing `input` as
// the prompts come, and gives everything the terminal showed. A run that waits half a minute for
// an answer nobody will type is killed.
CliRun onTerminal(const QStringList &arguments, const QByteArray &input)
{
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        std::vector<QByteArray> storage{QByteArrayLiteral(VANTOR_CLI)};
        for (const QString &argument : arguments)
            storage.push_back(argument.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &argument : storage)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    CliRun result;
    QByteArray pending = input;
    for (;;) {
        char buffer[4096];
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 30'000) == 0)
            ::kill(child, SIGKILL);
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.out.append(buffer, int(n));
        // Answer each question as it appears; Ctrl-D (0x04) stands for the end of input.
        if ((result.out.endsWith("[Y/n] ") || result.out.endsWith("[y/N] ")) && !pending.isEmpty()) {
            const qsizetype line = pending.indexOf('\n') + 1;
            const QByteArray answer = line > 0 ? pending.left(line) : pending;
            pending.remove(0, answer.size());
            ::write(terminal, answer.constData(), size_t(answer.size()));
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(terminal);
    result.killed = WIFSIGNALED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        qputenv("VANTOR_FEED_URL", m_server.urlText(feedPath).toUtf8());
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath,
                               {.version = u"1.0.3"_s, .checksumFile = true});
    }

    void reports()
    {
        const CliRun latest = run({u"--json"_s, u"latest"_s});
        QVERIFY(latest.exitCode == 0 && latest.json().value(u"tagName"_s).toString() == u"v1.0.3"_s);
        QCOMPARE(latest.json().value(u"pickedAsset"_s).toString(), u"OpenEmu-Silicon.zip"_s);
        QCOMPARE(latest.json().value(u"expectedChecksum"_s).toString().size(), 64);

        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.2"_s});
        const QJsonObject status = run({u"--json"_s, u"status"_s}).json();
        QVERIFY(status.value(u"host"_s).toObject().value(u"appleSilicon"_s).toBool());
        QCOMPARE(status.value(u"installed"_s).toObject().value(u"version"_s).toString(), u"1.0.2"_s);
        QVERIFY(status.value(u"updateAvailable"_s).toBool());

        // Failures: the sentence on stderr, the details with --verbose, the object with --json.
        m_server.json(u"/limited"_s, "rate limited", 429);
        const QStringList limitedFeed{u"VANTOR_FEED_URL="_s + m_server.urlText(u"/limited"_s)};
        const CliRun limited = run({u"--json"_s, u"latest"_s}, limitedFeed);
        QCOMPARE(limited.exitCode, 1);
        QCOMPARE(limited.json().value(u"error"_s).toObject().value(u"details"_s).toString(),
                 u"HTTP 429\nrate limited"_s);
        QVERIFY(!limited.err.contains("HTTP 429"));
        QVERIFY(run({u"--verbose"_s, u"latest"_s}, limitedFeed).err.contains("HTTP 429"));
        // Courtesy toward GitHub from the command line: the kept reply is asked about with its ETag,
        // and a token goes to the feed only, never into what is printed.
        m_server.resetHits();
        const CliRun withToken = run({u"--verbose"_s, u"latest"_s}, {u"GH_TOKEN=cli-secret"_s});
        QCOMPARE(m_server.lastHeader(feedPath, "Authorization"), QByteArray("Bearer cli-secret"));
        QVERIFY(!m_server.lastHeader(feedPath, "If-None-Match").isEmpty()); // kept from the first run
        QVERIFY(m_server.hits(u"/download/1.0.3/OpenEmu-Silicon.zip.sha256"_s) > 0);
        QVERIFY(m_server.lastHeader(u"/download/1.0.3/OpenEmu-Silicon.zip.sha256"_s, "Authorization").isEmpty());
        QVERIFY(!withToken.out.contains("cli-secret") && !withToken.err.contains("cli-secret"));
        const CliRun offline = run({u"--json"_s, u"status"_s}, {u"VANTOR_FEED_URL=http://127.0.0.1:1/feed"_s});
        QCOMPARE(offline.exitCode, 1);
        QVERIFY(offline.json().value(u"latest"_s).isNull());
        QVERIFY(offline.json().value(u"updateAvailable"_s).isNull()); // unknown, not "no"
        QVERIFY(run({u"status"_s}, {u"VANTOR_FEED_URL=http://127.0.0.1:1/feed"_s})
                    .out.contains("Update available: unknown (the release check failed)\n"));
        QVERIFY(offline.json().contains(u"error"_s));
    }

    void usageAndHelp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // expected on stdout
        QTest::addColumn<QByteArray>("err"); // expected on stderr
        auto row = [](const char *label, const QStringList &arguments, int exitCode, const QByteArray &out,
                      const QByteArray &err) { QTest::newRow(label) << arguments << exitCode << out << err; };
        row("no command", {}, 2, {}, "Commands:\n"); // what there is to do, not just "give a command"
        row("-V", {u"-V"_s}, 0, "vantor-cli ", {});
        row("mistyped backup item", {u"backup"_s, u"--only"_s, u"state"_s}, 2, {},
            "vantor-cli: Unknown item \"state\". Did you mean 'states'?\n");
        row("missing zip", {u"restore"_s, u"/nope.zip"_s}, 1, {}, "There's no file at /nope.zip.\n");
        row("unknown command", {u"frobnicate"_s}, 2, {}, "Run 'vantor-cli help' for usage.");
        row("option of another command", {u"--to"_s, u"/tmp"_s, u"status"_s}, 2, {},
            "vantor-cli: --to does not go with status.\nRun 'vantor-cli help status' for usage.\n");
        row("missing argument", {u"restore"_s}, 2, {}, "restore needs ZIP.");
        row("help of a command", {u"help"_s, u"backup"_s}, 0, "Usage: vantor-cli backup [--to DIR] [--only ITEMS]\n",
            {});
        row("--help of a command", {u"uninstall"_s, u"--help"_s}, 0, "Example:\n  vantor-cli uninstall --with-data",
            {});
        row("overview", {u"help"_s}, 0, "  set-games-folder", {});
        row("missing games folder", {u"set-games-folder"_s, u"/nonexistent"_s}, 1, {}, "That folder doesn't exist.");
        row("demo without a temporary folder", {u"--demo"_s, u"status"_s}, 1, {},
            "The demo needs a writable temporary folder.");
        row("mistyped command", {u"instal"_s}, 2, {},
            "vantor-cli: Unknown command \"instal\". Did you mean 'install'?\n");
        row("mistyped option", {u"--jsno"_s, u"status"_s}, 2, {},
            "vantor-cli: Unknown option '--jsno'. Did you mean '--json'?\n");
        row("unknown option, nothing close", {u"status"_s, u"--frobnicate"_s}, 2, {},
            "vantor-cli: Unknown option '--frobnicate'.\nRun 'vantor-cli help status' for usage.\n");
        row("two zips", {u"restore"_s, u"a.zip"_s, u"b.zip"_s}, 2, {}, "vantor-cli: restore takes one ZIP, not 2.\n");
        // With --json every failure is one JSON object on stdout too.
        row("usage error as JSON", {u"--json"_s, u"restore"_s}, 2, "\"message\":\"restore needs ZIP.\"}}", {});
        row("demo failure as JSON", {u"--demo"_s, u"--json"_s, u"status"_s}, 1, "{\"error\":{\"details\":\"",
            "The demo needs a writable temporary folder.");
    }

    void usageAndHelp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const QStringList environment{u"TMPDIR="_s + m_home.path(u"no such folder"_s)};
        const CliRun result = run(arguments, environment);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.out.contains(out), result.out.constData());
        QVERIFY2(result.err.contains(err), result.err.constData());
        if (!arguments.isEmpty()) // a usage error is a line or two, never the whole help
            QVERIFY(result.err.count('\n') <= 3);
        QVERIFY(!result.err.contains("terminate called"));
    }

    // Help is wrapped to the terminal's width between words: at 40 columns every line fits (a
    // word longer than that aside) and the words are those of the wide help, none split.
    void helpFitsTheTerminal()
    {
        for (const QStringList &arguments : {QStringList{u"help"_s}, QStringList{u"help"_s, u"backup"_s}}) {
            const QByteArray narrow = run(arguments, {u"COLUMNS=40"_s}).out;
            const QByteArray wide = run(arguments, {u"COLUMNS=300"_s}).out;
            for (const QByteArray &line : narrow.split('\n'))
                QVERIFY2(line.size() <= 40 || !line.trimmed().contains(' '), line.constData());
            QCOMPARE(narrow.simplified(), wide.simplified());
            QVERIFY(narrow.count('\n') > wide.count('\n'));
        }
    }

    void questions_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Enter") << QByteArray("\n") << 0;
        QTest::newRow("yes") << QByteArray("yes\n") << 0;
        QTest::newRow("n") << QByteArray("n\n") << 3;
        QTest::newRow("asked again") << QByteArray("3\ny\n") << 0;
        QTest::newRow("Ctrl-D") << QByteArray("\x04") << 3;
    }

    void questions()
    {
        QFETCH(QByteArray, typed);
        QFETCH(int, exitCode);
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.4"_s});
        Bundles::write(m_home.path(u"Library/Application Support/Vantor/Previous versions"_s), u"OpenEmu 1.0.3.app"_s,
                       {.version = u"1.0.3"_s});
        const CliRun asked = onTerminal({u"rollback"_s}, typed);
        QVERIFY2(asked.exitCode == exitCode, asked.out.constData());
        QVERIFY2(asked.out.contains("Go back to OpenEmu-Silicon 1.0.3?\r\n"), asked.out.constData());
        QCOMPARE(asked.out.count("Go Back? [Y/n] "), typed.startsWith('3') ? 2 : 1);

        // Where "yes" moves the data to the Trash, the question says so and Enter keeps it.
        if (typed == "\n") {
            TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/a.oesavestate"_s));
            const CliRun data = onTerminal({u"uninstall"_s, u"--with-data"_s}, typed);
            QVERIFY2(data.exitCode == 3 && data.out.contains("Move these to the Trash?\r\n")
                         && data.out.contains("Save States ("),
                     data.out.constData());
            QVERIFY(data.out.contains("Move to Trash? [y/N] ") && QFileInfo::exists(m_home.userApplications()));
        }

        // Without a terminal nothing is read, and the way out is named.
        if (exitCode == 3 && typed == "n\n") {
            const CliRun script = run({u"rollback"_s});
            QCOMPARE(script.exitCode, 3);
            QVERIFY(script.err.contains("Nothing was changed. Pass --yes to confirm without a question."));
            const CliRun json = run({u"--json"_s, u"rollback"_s});
            QCOMPARE(json.json().value(u"declined"_s).toString(),
                     u"Nothing was changed. Pass --yes to confirm without a question."_s);
            QVERIFY(json.err.contains("Pass --yes"));
            // A backup asks nothing, so a script needs no --yes for it.
            TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/a.oesavestate"_s));
            const CliRun backup = run({u"--json"_s, u"backup"_s, u"--to"_s, m_home.path(QString())});
            QCOMPARE(backup.exitCode, 0);
            QVERIFY(backup.json().value(u"notice"_s).toString().startsWith(u"Backup saved: "_s));
        }
    }

    void progress()
    {
        // On a terminal: frames redrawn in place, cleared to the end of the line, then a newline.
        const CliRun terminal = onTerminal({u"--yes"_s, u"install"_s}, {});
        QCOMPARE(terminal.exitCode, 0);
        QVERIFY2(terminal.out.contains("100% ") && terminal.out.contains("\x1b[K"), terminal.out.constData());
        QVERIFY(terminal.out.contains("\r"));

        // In a log (--progress off a terminal): whole lines, no carriage returns.
        QDir(m_home.userApplications()).removeRecursively();
        // The total is there from the first line; a dropped connection is picked up where it stopped
        // (the published checksum still matches), and the log says so.
        const QString zip = u"/download/1.0.3/OpenEmu-Silicon.zip"_s;
        FeedServer::Route dropping = *m_server.routeOf(zip);
        dropping.dropAfterBytes = dropping.body.size() / 2;
        m_server.route(zip, dropping);
        const CliRun logged = run({u"--yes"_s, u"--progress"_s, u"install"_s});
        QCOMPARE(logged.exitCode, 0);
        QVERIFY(logged.err.contains("100% ") && !logged.err.contains('\r'));
        const QByteArray total = ByteCount::fileStyle(dropping.body.size()).toUtf8();
        // Nothing received is nothing to show: no "0%" line before the resume says where it picks up.
        QVERIFY2(!logged.err.startsWith("0% ") && logged.err.contains(" of " + total + "…\n")
                     && logged.err.contains(" / " + total + "\n"),
                 logged.err.constData());
        QVERIFY(QDir(m_home.path(u"Library/Caches/Vantor/downloads"_s)).isEmpty()); // installed: nothing kept

        // The frame: no speed or ETA before the first sample; no percentage without a total.
        QCOMPARE(ProgressReport::line(120'300'000, 286'400'000, 5'200'000),
                 u"42% 120.3 MB / 286.4 MB 5.2 MB/s ETA 0:32"_s);
        QCOMPARE(ProgressReport::line(120'300'000, 286'400'000, 0), u"42% 120.3 MB / 286.4 MB"_s);
        QCOMPARE(ProgressReport::line(120'300'000, -1, 5'200'000), u"120.3 MB 5.2 MB/s"_s);
        // Text from the network reaches the terminal without escape sequences.
        m_server.json(u"/evil"_s, "{\"tag_name\":\"v9\\u001b[2J\",\"name\":\"\\u001b]0;title\\u0007\",\"assets\":[]}");
        QVERIFY(!run({u"latest"_s}, {u"VANTOR_FEED_URL="_s + m_server.urlText(u"/evil"_s)}).out.contains('\x1b'));
    }

    void backupRestoreRoundTrip()
    {
        const QString saves = m_home.path(u"Library/Application Support/OpenEmu/Save States"_s);
        TestFiles::write(saves + u"/slot1.oesavestate"_s, "progress");
        const QString to = m_home.path(u"backups"_s);
        QDir().mkpath(to);

        const CliRun backup = run({u"--json"_s, u"--yes"_s, u"backup"_s, u"--to"_s, to, u"--only"_s, u"states"_s});
        QCOMPARE(backup.exitCode, 0);
        const QString notice = backup.json().value(u"notice"_s).toString();
        QVERIFY2(notice.startsWith(u"Backup saved: "_s + to + u"/OpenEmu-Backup-"_s), qPrintable(notice));
        QCOMPARE(backup.json().value(u"path"_s).toString(), notice.mid(14)); // the zip, for a script
        QStringList ids;
        for (const QJsonValue &item : backup.json().value(u"items"_s).toArray())
            ids.append(item[u"id"_s].toString() + (item[u"included"_s].toBool() ? u"+"_s : QString()));
        QCOMPARE(ids, (QStringList{u"states+"_s, u"library"_s, u"battery"_s, u"bios"_s, u"screenshots"_s, u"prefs"_s}));
        const QJsonArray rows = run({u"--json"_s, u"tidy"_s}).json().value(u"rows"_s).toArray();
        QVERIFY(std::any_of(rows.begin(), rows.end(),
                            [](const QJsonValue &row) { return row[u"id"_s] == u"savedstate"_s; }));

        QVERIFY(QDir(m_home.path(u"Library"_s)).removeRecursively());
        const CliRun nothingToUndo = run({u"--yes"_s, u"restore"_s, u"--undo"_s});
        QCOMPARE(nothingToUndo.exitCode, 1);
        QVERIFY2(nothingToUndo.err.contains("There's no restore to undo."), nothingToUndo.err.constData());
        QCOMPARE(run({u"--yes"_s, u"restore"_s, notice.mid(14)}).exitCode, 0);
        QVERIFY(QFileInfo::exists(saves + u"/slot1.oesavestate"_s));

        // A restore over newer progress says how to undo it, and the undo brings the progress back.
        TestFiles::write(saves + u"/slot1.oesavestate"_s, "newer progress");
        const CliRun over = run({u"--yes"_s, u"restore"_s, notice.mid(14)});
        QVERIFY2(over.out.contains("vantor-cli restore --undo"), over.out.constData());
        QCOMPARE(TestFiles::read(saves + u"/slot1.oesavestate"_s), QByteArray("progress"));
        const CliRun undone = run({u"--json"_s, u"--yes"_s, u"restore"_s, u"--undo"_s});
        QCOMPARE(undone.exitCode, 0);
        QCOMPARE(TestFiles::read(saves + u"/slot1.oesavestate"_s), QByteArray("newer progress"));
        QVERIFY(undone.json().value(u"undo"_s).toString().contains(u"-Before-Restore"_s)); // an undo can be undone too
        QCOMPARE(run({u"restore"_s, u"--undo"_s, notice.mid(14)}).exitCode, 2);
        QCOMPARE(run({u"backup"_s, u"--to"_s, to, u"--only"_s, u"roms"_s}).exitCode, 2);
        // Without --to, where a Mac user looks for backups.
        QCOMPARE(run({u"--yes"_s, u"backup"_s, u"--only"_s, u"states"_s}).exitCode, 0);
        QCOMPARE(QDir(m_home.path(u"Documents/OpenEmu Backups"_s)).entryList(QDir::Files).size(), 1);

        // A zip whose name sets the terminal's title and clears its screen: the question names it,
        // cleaned like every other line.
        const QString evil = to + u"/evil\x1b]0;pwned\x07\x1b[2J.zip"_s;
        QVERIFY(QFile::copy(notice.mid(14), evil));
        const CliRun asked = onTerminal({u"restore"_s, evil}, "n\n");
        QVERIFY2(asked.out.contains("evil]0;pwned[2J.zip") && !asked.out.contains('\x1b')
                     && !asked.out.contains('\x07'),
                 asked.out.constData());
        QCOMPARE(asked.exitCode, 3);
    }

    // The real preferences tool ignores HOME: a test process that would run it is stopped, and
    // the demo runs none at all (reading its sandbox's own file).
    void preferencesNeverReachTheRealService()
    {
        TestFiles::write(m_home.path(u"Library/Preferences/org.openemu.OpenEmu.plist"_s), "settings");
        QDir().mkpath(m_home.path(u"backups"_s));
        const QStringList backup{u"--yes"_s,  u"backup"_s, u"--to"_s, m_home.path(u"backups"_s),
                                 u"--only"_s, u"prefs"_s};
        const CliRun unguarded = run(backup, {u"VANTOR_DEFAULTS_TOOL="_s});
        QVERIFY2(unguarded.killed && unguarded.err.contains("a test would run the real preferences tool"),
                 unguarded.err.constData());
        QCOMPARE(run(backup).exitCode, 0); // with the stand-in every test has

        // The demo with no stand-in at all: nothing is run, nothing stops.
        const QString tmp = m_home.path(u"demo-tmp"_s);
        QDir().mkpath(tmp);
        const CliRun demo = run({u"--demo"_s, u"--yes"_s, u"backup"_s, u"--only"_s, u"prefs"_s},
                                {u"TMPDIR="_s + tmp, u"VANTOR_DEFAULTS_TOOL="_s});
        QVERIFY2(!demo.killed && !demo.err.contains("preferences tool"), demo.err.constData());
    }

    // Save states kept on a drive that isn't connected are not "no save states".
    void statesOnADriveAway()
    {
        Bundles::writePreferences(m_home.path(u"Library/Preferences/org.openemu.OpenEmu.plist"_s),
                                  {{u"saveStateFolder"_s, u"file:///Volumes/Away/Save%20States/"_s}});
        const CliRun states = run({u"--json"_s, u"states"_s});
        QCOMPARE(states.exitCode, 1);
        QVERIFY2(states.err.contains("A folder OpenEmu uses can't be reached. Is its drive connected?"),
                 states.err.constData());
        QCOMPARE(states.json()[u"error"_s][u"details"_s].toString(), u"/Volumes/Away/Save States"_s);
    }

    void guideAndSystems()
    {
        const QString bios = m_home.path(u"Library/Application Support/OpenEmu/BIOS"_s);
        for (const QString &name : {u"scph5500.bin"_s, u"SCPH5501.BIN"_s, u"scph5502.bin"_s, u"dc_boot.bin"_s})
            TestFiles::write(bios + QLatin1Char('/') + name);
        // Where OpenEmu never looks: missing, and said where it is.
        const QString flycast
            = TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Flycast/dc_flash.bin"_s));
        QDir().mkpath(m_home.path(u"Games"_s));
        QCOMPARE(run({u"set-games-folder"_s, m_home.path(u"Games"_s)}).exitCode, 0);

        const QJsonObject guide = run({u"--json"_s, u"guide"_s}).json();
        QCOMPARE(guide.value(u"gamesFolder"_s).toString(), m_home.path(u"Games"_s));
        QMap<QString, bool> marks;
        for (const QJsonValue &row : guide.value(u"bios"_s).toArray())
            marks.insert(row.toObject().value(u"system"_s).toString(), row.toObject().value(u"satisfied"_s).toBool());
        QVERIFY(marks.value(u"PlayStation"_s)); // all three, one in capitals
        QVERIFY(!marks.value(u"Sega Dreamcast"_s)); // needs both files in the BIOS folder

        // Marks a plain terminal can show.
        // A dump nobody knows (these are empty files) is a warning, never a check mark.
        const QByteArray plain = run({u"guide"_s}, {u"LC_ALL=C"_s}).out;
        QVERIFY2(plain.contains("  [!] PlayStation: scph5500.bin unrecognized and scph5501.bin unrecognized and "
                                "scph5502.bin unrecognized\n"),
                 plain.constData());
        QVERIFY(plain.contains("    dc_flash.bin is in " + flycast.toUtf8()
                               + ", where OpenEmu doesn't look: vantor-cli bios-import '" + flycast.toUtf8() + "'\n"));
        QVERIFY(plain.contains("  [ ] Atari Lynx: lynxboot.img missing\n"));
        const QByteArray utf8 = run({u"guide"_s}, {u"LC_ALL=C.UTF-8"_s}).out;
        QVERIFY(utf8.contains("  ⚠ PlayStation") && utf8.contains("  ✗ Atari Lynx"));

        const QJsonArray systems = run({u"--json"_s, u"systems"_s}).json().value(u"systems"_s).toArray();
        QCOMPARE(systems.size(), 40); // no arcade core; Game Boy Color games run as Game Boy
    }

    // What bash offers after each typed line, from the script vantor-cli prints.
    void completionForBash()
    {
        // A typed line (the last word empty after a space), then what bash offers for it.
        QList<QPair<QString, QString>> offers{{u"ba"_s, u"backup"_s},
                                              {u"backup --w"_s, {}}, // --with-data is uninstall's
                                              {u"backup --only "_s, u"states library battery bios screenshots prefs"_s},
                                              {u"--json backup --to /tmp --only l"_s, u"library"_s},
                                              {u"set "_s, u"auto-backup"_s},
                                              {u"set auto-backup "_s, u"on off"_s},
                                              {u"set auto-backup on "_s, {}},
                                              {u"completion "_s, u"bash zsh fish"_s},
                                              {u"help set-"_s, u"set-games-folder"_s},
                                              {u"--feed-url http://x st"_s, u"status states"_s},
                                              {u"status "_s, {}}};
        // Every command's own options, and nobody else's.
        for (const CommandTable::Command &command : CommandTable::commands())
            offers.append(
                {command.name + u" --"_s,
                 u"--json --verbose --yes --feed-url --demo --demo-reset --progress"_s
                     + (u" --"_s + command.options.join(u" --"_s)).repeated(command.options.isEmpty() ? 0 : 1)});
        QString script = QString::fromUtf8(run({u"completion"_s, u"bash"_s}).out);
        for (const auto &[line, offered] : std::as_const(offers)) {
            const QStringList words = (u"vantor-cli "_s + line).split(QLatin1Char(' '));
            script += u"\nCOMP_WORDS=('%1'); COMP_CWORD=%2; COMPREPLY=(); _vantor_cli; echo \"${COMPREPLY[*]}\""_s
                          .arg(words.join(u"' '"_s))
                          .arg(words.size() - 1);
        }
        QProcess bash;
        bash.start(u"bash"_s, {u"-c"_s, script});
        QVERIFY(bash.waitForFinished());
        const QStringList answers = QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < offers.size(); ++i)
            QVERIFY2(answers.value(i) == offers[i].second, qPrintable(offers[i].first + u" → "_s + answers.value(i)));
    }

    void installUpdateSkipRollbackUninstall()
    {
        QCOMPARE(run({u"--yes"_s, u"install"_s}).exitCode, 0);
        // Installed and current already: nothing to do is an answer, not a failure, and nothing is
        // downloaded over the kept copy.
        const CliRun again = run({u"--yes"_s, u"install"_s});
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains("is already installed and up to date."), again.out.constData());
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath,
                               {.version = u"1.0.4"_s, .zip = false, .diskImage = true, .digest = true});
        QCOMPARE(run({u"skip"_s}).exitCode, 0);
        QJsonObject status = run({u"--json"_s, u"status"_s}).json();
        QCOMPARE(status.value(u"skippedVersion"_s).toString(), u"v1.0.4"_s);
        QVERIFY(!status.value(u"updateAvailable"_s).toBool());
        const CliRun refused = run({u"--yes"_s, u"update"_s});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY(refused.err.contains("v1.0.4 is skipped. Pass --include-skipped to update to it."));
        QCOMPARE(run({u"--yes"_s, u"update"_s, u"--include-skipped"_s}).exitCode, 0);

        // Back from 1.0.4 to 1.0.3: 1.0.4 is not offered again, until a newer release.
        QCOMPARE(run({u"--yes"_s, u"rollback"_s}).exitCode, 0);
        QVERIFY(!run({u"--json"_s, u"status"_s}).json().value(u"updateAvailable"_s).toBool());
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath, {.version = u"1.0.5"_s});
        status = run({u"--json"_s, u"status"_s}).json();
        QVERIFY(status.value(u"skippedVersion"_s).isNull());
        QVERIFY(status.value(u"updateAvailable"_s).toBool());
        // The automatic backup: on by default, skipped once with --no-backup, turned off with set.
        const QString saves = m_home.path(u"Library/Application Support/OpenEmu/Save States"_s);
        TestFiles::write(saves + u"/slot.oesavestate"_s);
        QVERIFY(status.value(u"autoBackupBeforeUpdate"_s).toBool());
        // A backup that can't be made stops the update, with the command line's ways on.
        const QString automatic = m_home.path(u"Library/Application Support/Vantor/Automatic backups"_s);
        TestFiles::write(automatic); // a file where the folder goes
        const CliRun stopped = run({u"--yes"_s, u"update"_s});
        QCOMPARE(stopped.exitCode, 1);
        QVERIFY2(stopped.err.contains("add --no-backup; to stop backing up first, run vantor-cli set auto-backup off.")
                     && !stopped.err.contains("turn off"),
                 stopped.err.constData());
        QVERIFY(QFile::remove(automatic));
        QCOMPARE(run({u"--yes"_s, u"update"_s, u"--no-backup"_s}).exitCode, 0);
        QVERIFY(!QFileInfo::exists(m_home.path(u"Library/Application Support/Vantor/Automatic backups"_s)));
        QCOMPARE(run({u"set"_s, u"auto-backup"_s, u"off"_s}).exitCode, 0);
        QVERIFY(!run({u"--json"_s, u"status"_s}).json().value(u"autoBackupBeforeUpdate"_s).toBool());
        QCOMPARE(run({u"set"_s, u"auto-backup"_s, u"maybe"_s}).exitCode, 2);
        QCOMPARE(run({u"--yes"_s, u"rollback"_s}).exitCode, 0);
        QCOMPARE(run({u"skip"_s, u"v1.0.5"_s}).exitCode, 0);
        QCOMPARE(run({u"unskip"_s}).exitCode, 0);
        QVERIFY(run({u"--json"_s, u"status"_s}).json().value(u"updateAvailable"_s).toBool());

        // --reinstall replaces the copy there as an update does, at any version.
        QCOMPARE(run({u"--yes"_s, u"install"_s, u"--reinstall"_s}).exitCode, 0);
        QVERIFY(run({u"--json"_s, u"status"_s}).json().value(u"hasPrevious"_s).toBool());
        // --yes uninstall moves the app only; --with names what else goes, and only that goes.
        const QString caches = TestFiles::write(m_home.path(u"Library/Caches/org.openemu.OpenEmu/cache.db"_s));
        QCOMPARE(run({u"uninstall"_s, u"--with"_s, u"cache"_s}).exitCode, 2); // "Did you mean 'caches'?"
        QCOMPARE(run({u"--yes"_s, u"uninstall"_s, u"--with"_s, u"caches"_s}).exitCode, 0);
        QVERIFY(!QFileInfo::exists(m_home.userApplications() + u"/OpenEmu.app"_s) && !QFileInfo::exists(caches));
        QVERIFY(QFileInfo::exists(saves));
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s);
        QCOMPARE(run({u"--yes"_s, u"uninstall"_s, u"--with-data"_s}).exitCode, 0);
        QVERIFY(!QFileInfo::exists(saves));
    }

    void olderReleaseWhenTheNewestHasNoApp()
    {
        m_server.json(feedPath, R"({"tag_name":"v1.0.5","assets":[]})");
        QByteArray releases = R"([{"tag_name":"v1.0.5","assets":[]},
            {"tag_name":"v1.0.5-rc","prerelease":true,"assets":APP}, {"tag_name":"v1.0.4-draft","draft":true,"assets":APP},
            {"tag_name":"v1.0.4","assets":APP}])";
        m_server.json(u"/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases"_s,
                      releases.replace("APP", R"([{"name":"OpenEmu.zip","size":1,"browser_download_url":")"
                                                  + m_server.urlText(u"/a.zip"_s).toUtf8() + R"("}])"));
        const QJsonObject latest = run({u"--json"_s, u"latest"_s}).json();
        QCOMPARE(latest.value(u"tagName"_s).toString(), u"v1.0.4"_s);
        QCOMPARE(latest.value(u"fallbackNote"_s).toString(),
                 u"The newest release (v1.0.5) has no app file, so Vantor offers v1.0.4."_s);
        // When the list cannot be had, the newest release stands (with nothing to install).
        m_server.json(u"/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases"_s, "gone", 404);
        QCOMPARE(run({u"--json"_s, u"latest"_s}).json().value(u"tagName"_s).toString(), u"v1.0.5"_s);
    }

    // Launched through a pipe, the command returns while the app runs on: the app holds no end of it.
    void launchReturns()
    {
        const QString app = Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s,
                                           {.version = u"1.0.4"_s, .executableSource = Bundles::sampleApp()});
        auto quit = qScopeGuard([&] { QProcess::execute(u"pkill"_s, {u"-f"_s, app}); });
        QProcess piped;
        piped.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        piped.start(u"sh"_s, {u"-c"_s, u"\"$0\" launch | cat"_s, QStringLiteral(VANTOR_CLI)});
        QVERIFY(piped.waitForFinished(30'000));
        QVERIFY2(piped.readAllStandardOutput().startsWith("Opened "), piped.readAllStandardError().constData());
    }

    void demoContinuesOneStory()
    {
        // The demo keeps its sandbox in the temporary folder; give it one of its own here.
        const QString tmp = m_home.path(u"demo-tmp"_s);
        QDir().mkpath(tmp);
        auto demo = [&](const QStringList &arguments) {
            return run(QStringList{u"--demo"_s, u"--json"_s} + arguments, {u"TMPDIR="_s + tmp});
        };
        const CliRun fresh = demo({u"--demo-reset"_s, u"status"_s});
        QCOMPARE(fresh.exitCode, 0);
        QVERIFY(fresh.json().value(u"installed"_s).isNull());
        QCOMPARE(fresh.json().value(u"latest"_s).toString(), u"v1.0.3"_s);

        QCOMPARE(demo({u"--yes"_s, u"install"_s}).exitCode, 0);
        // Installed, the feed moves on to 1.0.4, and the next run sees both.
        const CliRun after = demo({u"status"_s});
        QCOMPARE(after.json().value(u"latest"_s).toString(), u"v1.0.4"_s);
        QVERIFY(after.json().value(u"updateAvailable"_s).toBool());
        const QString url = after.json().value(u"installed"_s).toObject().value(u"path"_s).toString();
        QVERIFY2(url.startsWith(tmp + u"/vantor-demo/home/Applications/"_s), qPrintable(url));

        // The demo's save states and cores: one made with an older Snes9x, one that 1.0.4 puts at
        // risk, and the update says which.
        const CliRun states = demo({u"states"_s, u"--at-risk"_s});
        QCOMPARE(states.json().value(u"states"_s).toArray().size(), 1);
        const CliRun update = demo({u"--yes"_s, u"update"_s});
        QCOMPARE(update.exitCode, 0);
        QCOMPARE(update.json().value(u"from"_s).toString(), u"1.0.3"_s);
        QCOMPARE(update.json().value(u"to"_s).toString(), u"1.0.4"_s);
        QCOMPARE(update.json().value(u"saveStatesAtRisk"_s).toInt(), 1);
        QCOMPARE(update.json().value(u"coreChanges"_s).toArray().first().toObject().value(u"to"_s).toString(),
                 u"2.6.0"_s);
        QCOMPARE(demo({u"states"_s, u"--at-risk"_s}).json().value(u"states"_s).toArray().size(), 2);
        // Words at the terminal, codes in JSON; systems by name.
        const CliRun words = run({u"--demo"_s, u"states"_s, u"--at-risk"_s}, {u"TMPDIR="_s + tmp});
        QVERIFY2(
            words.out.contains("OpenEmu will warn before loading it: made with Mupen64Plus 2.5.10; installed: 2.6.0")
                && !words.out.contains("older-core") && !words.out.contains("other-version"),
            words.out.constData());
        const CliRun cores = run({u"--demo"_s, u"cores"_s}, {u"TMPDIR="_s + tmp});
        QVERIFY2(cores.out.contains("PlayStation") && !cores.out.contains("openemu.system.psx"), cores.out.constData());

        // Its BIOS download, under odd names, and a path that isn't there, in one import.
        const QString home = tmp + u"/vantor-demo/home"_s;
        const CliRun bios
            = demo({u"--yes"_s, u"bios-import"_s, home + u"/Downloads/BIOS pack"_s, home + u"/nothing"_s});
        QCOMPARE(bios.exitCode, 0);
        QCOMPARE(bios.json().value(u"added"_s).toArray().size(), 3);
        QCOMPARE(bios.json().value(u"alreadyThere"_s).toArray(), QJsonArray{u"lynxboot.img"_s});
        QCOMPARE(bios.json().value(u"skipped"_s).toArray().first().toObject().value(u"reason"_s).toString(),
                 u"not found"_s);
        QVERIFY(QFileInfo(home + u"/Library/Application Support/OpenEmu/BIOS/BIOS_CD_U.bin"_s).isFile());
    }

private:
    TestHome &m_home = TestHome::shared();
    FeedServer m_server;
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
