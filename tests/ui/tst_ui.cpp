#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "Settle.h"
#include "TestFiles.h"
#include "TestHome.h"

#include "app/AppModel.h"
#include "base/Paths.h"
#include "ui/Banners.h"
#include "ui/DialogPrompter.h"
#include "ui/HomePage.h"
#include "ui/MainWindow.h"
#include "ui/SaveStateTree.h"
#include "ui/Widgets.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QtTest>
#include <QtWidgets>

#include <SDL.h>

using namespace Qt::StringLiterals;

using TestSupport::await;

namespace {

const QString feedPath = u"/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases/latest"_s;

// The visible control with this text on the window's current page or banners, or the menu item.
template <typename T>
T *find(
    QWidget *root, const QString &text, QString (*textOf)(T *) = [](T *item) { return item->text(); })
{
    for (T *item : root->findChildren<T *>()) {
        if constexpr (std::is_base_of_v<QWidget, T>) {
            if (!item->isVisibleTo(root))
                continue;
        }
        if (textOf(item) == text)
            return item;
    }
    return nullptr;
}

// The Backup page's toggle for an item, found by its title.
QAbstractButton *toggle(QWidget *root, const QString &title)
{
    return find<QAbstractButton>(root, title, [](QAbstractButton *box) { return box->accessibleName(); });
}

} // namespace

class UiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        SampleRelease::publish(
            m_server, m_home.path(u"release"_s), feedPath,
            {.version = u"1.0.4"_s, .notes = u"# Heading\n**bold** and *soft* and `code`\n- item"_s});
    }

    void cleanup()
    {
        m_window.reset();
        m_model.reset();
    }

    void bannersFollowTheModel()
    {
        open();
        m_model->setError(FriendlyError(u"Something failed."_s, QString()));
        m_model->setNotice(u"All good."_s);
        auto *error = m_window->findChild<ErrorBanner *>();
        QVERIFY(error->isVisible());
        QVERIFY(!find<QToolButton>(error, u"Show Details"_s)); // no details, no disclosure
        m_model->setError(FriendlyError(u"Something else failed."_s, u"line 1\nline 2"_s));
        QToolButton *details = find<QToolButton>(error, u"Show Details"_s);
        QVERIFY(details);
        auto *box = error->findChild<QPlainTextEdit *>();
        QVERIFY(!box->isVisible()); // collapsed at first
        details->click();
        QVERIFY(box->isVisible());
        screenshot(u"banners"_s);

        find<QPushButton>(error, u"Dismiss"_s)->click();
        QVERIFY(!m_model->error());
        QCOMPARE(m_model->notice(), u"All good."_s);
        QVERIFY(!error->isVisible());
        auto *notice = m_window->findChild<NoticeBanner *>();
        find<QPushButton>(notice, u"Dismiss"_s)->click();
        QVERIFY(!m_model->notice());
    }

    void homeInstallRules()
    {
        open();
        QPushButton *install = find<QPushButton>(page(), u"Install OpenEmu-Silicon"_s);
        QVERIFY(install && install->isEnabled());
        QVERIFY(find<QLabel>(page(), u"Latest version: v1.0.4"_s));
        screenshot(u"home-install"_s);

        qputenv("VANTOR_HOST", "macos-10.15.7-arm64"); // the host is asked afresh at every redraw
        m_model->setNotice(u"redraw"_s);
        QVERIFY(!install->isEnabled());
        QVERIFY(find<QLabel>(page(), u"Sorry, this Mac's macOS is too old for OpenEmu-Silicon."_s));
        qputenv("VANTOR_HOST", "macos-14.5.0-arm64");

        // A release with nothing installable.
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath,
                               {.zip = false, .otherAssets = {u"OpenEmu.dmg.sha256"_s}});
        await(m_model->checkLatest());
        QVERIFY(find<QLabel>(page(), u"This release has no downloadable app file."_s));
        QVERIFY(!install->isEnabled());

        // The install location choice writes the model.
        find<QAbstractButton>(page(), u"/Applications (needs permission)"_s)->click();
        QVERIFY(m_model->installToSystemApplications());
    }

    void installedCardAndProgress()
    {
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s});
        Bundles::write(Paths::previousVersionsFolder(), u"OpenEmu 1.0.2.app"_s, {.version = u"1.0.2"_s});
        open();
        QVERIFY(find<QLabel>(page(), u"Installed version 1.0.3"_s));
        QVERIFY(find<QLabel>(page(), u"Update available: v1.0.4"_s));
        QPushButton *update = find<QPushButton>(page(), u"Update"_s);
        QVERIFY(update && update->isEnabled());
        QVERIFY(find<QPushButton>(page(), u"Go Back to 1.0.2…"_s)); // where it goes, not just "Roll Back"
        QVERIFY(!find<QPushButton>(page(), u"Cancel"_s));

        // Skipping the version, and offering it again.
        find<QPushButton>(page(), u"Skip This Version"_s)->click();
        QVERIFY(find<QLabel>(page(), u"Skipped v1.0.4."_s));
        QVERIFY(!find<QPushButton>(page(), u"Update"_s));
        find<QPushButton>(page(), u"Offer v1.0.4 Again"_s)->click();
        QVERIFY(find<QLabel>(page(), u"Update available: v1.0.4"_s));
        QVERIFY(update->isDefault() && !find<QPushButton>(page(), u"Launch OpenEmu"_s)->isDefault());

        screenshot(u"home-update-available"_s);

        // Watch the progress card through the phases of a real update.
        QStringList titles;
        QStringList busyLines;
        bool cancelEnabledWhileDownloading = false;
        bool focusOnCancel = false;
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        const QString changes
            = u"Launch OpenEmu|Update|Roll Back…|Skip This Version|Restore from Zip…|Uninstall OpenEmu-Silicon…|Move to Trash…"_s;
        QSet<QString> enabledDuringUpdate;
        // After `changed`, which the pages redraw on.
        connect(m_model.get(), &AppModel::changed, this, [&] {
            for (auto *card : page()->findChildren<QLabel *>()) {
                const QString t = card->text();
                if (card->isVisibleTo(page()) && t.endsWith(QChar(0x2026)) && !titles.contains(t)
                    && t != u"Roll Back…"_s)
                    titles.append(t);
            }
            if (m_model->phase() == InstallPhase::downloading) {
                cancelEnabledWhileDownloading |= find<QPushButton>(page(), u"Cancel"_s)->isEnabled();
                // While the change runs, the keyboard is on its Cancel.
                focusOnCancel |= QApplication::focusWidget() == find<QPushButton>(page(), u"Cancel"_s);
            }
            // From the update's first step to its last, no page offers another change, nor Launch.
            for (QPushButton *button : m_window->findChildren<QPushButton *>()) {
                // (A row rebuilt is hidden at once and deleted later: it isn't offered.)
                if (m_model->isChanging() && button->isEnabled() && !button->isHidden()
                    && (changes.split(u'|').contains(button->text()) || button->text().startsWith(u"Go Back to"_s)))
                    enabledDuringUpdate.insert(button->text());
            }
            if (m_model->phase() == InstallPhase::unpacking)
                screenshot(u"home-progress"_s);
            // The line at the bottom, the same on every page.
            for (QLabel *label : m_window->findChildren<QLabel *>()) {
                if (label->isVisibleTo(m_window.get()) && label->text().startsWith(u"Downloading OpenEmu-Silicon… "_s))
                    busyLines.append(label->text());
            }
        });
        update->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->isInstalling(), 30'000);
        QVERIFY(titles.contains(u"Downloading…"_s));
        QVERIFY(titles.contains(u"Unpacking…"_s));
        QVERIFY(cancelEnabledWhileDownloading);
        QVERIFY2(!busyLines.filter(QRegularExpression(u"^Downloading OpenEmu-Silicon… \\d+% · .+ of .+"_s)).isEmpty(),
                 qPrintable(busyLines.join(u'\n')));
        QCOMPARE(enabledDuringUpdate, QSet<QString>());
        QTRY_VERIFY(find<QLabel>(page(), u"Installed version 1.0.4"_s));
        QVERIFY(find<QLabel>(page(), u"You're up to date."_s));
        // Afterwards, on the page's primary button, never in the release notes.
        QVERIFY(focusOnCancel);
        QTRY_COMPARE(QApplication::focusWidget(), find<QPushButton>(page(), u"Launch OpenEmu"_s));
        QVERIFY(!find<QPushButton>(page(), u"Update"_s));
        screenshot(u"home-installed"_s);
    }

    void releaseNotesRendering()
    {
        // Markdown as GitHub writes it: a heading and a list come out as such, raw HTML stays text,
        // and only web links reach the browser.
        QTextBrowser box;
        box.resize(600, 100);
        HomePage::showNotes(&box, u"## Fixes\n- one\n- two\n\n<b>raw</b> [site](https://a.b/c) [local](file:///etc)"_s);
        const QTextDocument *notes = box.document();
        QCOMPARE(notes->firstBlock().blockFormat().headingLevel(), 2);
        QCOMPARE(notes->firstBlock().text(), u"Fixes"_s);
        QVERIFY(notes->firstBlock().next().textList());
        QVERIFY(notes->toPlainText().contains(u"<b>raw</b>"_s));
        QVERIFY(box.height() < 220); // a short note gets a short box

        open();
        auto *shown = page()->findChild<QTextBrowser *>();
        QCOMPARE(shown->document()->firstBlock().blockFormat().headingLevel(), 1);
        emit shown->anchorClicked(QUrl(u"file:///etc/passwd"_s));
        emit shown->anchorClicked(QUrl(u"https://example.com/notes"_s));
        QCOMPARE(m_workspace.opened, QList<QUrl>{QUrl(u"https://example.com/notes"_s)});
    }

    void otherPages()
    {
        // Some data for the pages to show: a BIOS file, save states, settings and a controller.
        const QString support = m_home.path(u"Library/Application Support/OpenEmu"_s);
        for (const QString &file : {u"/BIOS/lynxboot.img"_s, u"/BIOS/scph5501.bin"_s,
                                    u"/Save States/SNES/slot1.oesavestate"_s, u"/Game Library/Library.storedata"_s})
            TestFiles::write(support + file, QByteArray(5000, 'd'));
        SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
        const int pad = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1);
        auto detach = qScopeGuard([pad] {
            SDL_JoystickDetachVirtual(pad);
            SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        });
        open();
        m_window->showPage(MainWindow::Page::systems);
        QVERIFY(find<QLabel>(page(), u"Core: blueMSX 2.9.1293"_s));
        screenshot(u"systems"_s);

        m_window->showPage(MainWindow::Page::guide);
        QVERIFY(find<QLabel>(page(), u"No folder chosen yet."_s));
        QTRY_VERIFY(find<QLabel>(page(), u"1 system(s) have their BIOS file(s)."_s));
        QTRY_VERIFY_WITH_TIMEOUT(find<QLabel>(page(), u"1 controller(s) connected."_s), 5000);
        // A step not done yet says so to a screen reader; the games step can be marked done by hand.
        const auto named = [&](const QString &name) {
            const auto labels = page()->findChildren<QLabel *>();
            return std::count_if(labels.begin(), labels.end(),
                                 [&](QLabel *l) { return !l->isHidden() && l->accessibleName() == name; });
        };
        QVERIFY(named(u"Not done yet"_s) > 0 && named(u"circle"_s) == 0);
        QVERIFY(find<QLabel>(page(), u"2. Choose your games folder"_s));
        const qsizetype notDone = named(u"Not done yet"_s);
        find<QPushButton>(page(), u"Mark as Done"_s)->click();
        QTRY_VERIFY(find<QLabel>(page(), u"Marked as done."_s));
        QCOMPARE(named(u"Not done yet"_s), notDone - 1);
        m_prompter.folderAnswer = m_home.path(u"Games"_s);
        find<QPushButton>(page(), u"Choose Folder…"_s)->click();
        QTRY_VERIFY(find<QLabel>(page(), m_home.path(u"Games"_s)));
        find<QPushButton>(page(), u"Open in Finder"_s)->click();
        QVERIFY(m_model->error()); // it doesn't exist yet
        screenshot(u"guide"_s);

        m_window->showPage(MainWindow::Page::backup);
        QPushButton *backup = find<QPushButton>(page(), u"Back Up"_s);
        QVERIFY(backup && backup->isEnabled());
        // Where the zip goes is on the page, and Change… picks another folder, remembered.
        QVERIFY(find<QLabel>(page(), u"Back up to: ~/Documents/OpenEmu Backups"_s));
        QVERIFY(find<QLabel>(page(), u"No backups in this folder yet."_s));
        const QString earlier
            = TestFiles::write(m_home.path(u"Backups/OpenEmu-Backup-2026-12-06_21-07-45.zip"_s), "zip");
        m_prompter.folderAnswer = m_home.path(u"Backups"_s);
        find<QPushButton>(page(), u"Change…"_s)->click();
        QTRY_VERIFY(find<QLabel>(page(), u"Back up to: ~/Backups"_s));
        // The backups already there, each with Restore… and Show in Finder.
        QTRY_VERIFY(find<QPushButton>(page(), u"Restore…"_s));
        find<QPushButton>(page(), u"Show in Finder"_s)->click();
        QCOMPARE(m_workspace.revealed.last(), earlier);
        // The total and the button follow the toggles.
        // A toggle rebuilds the list; the new rows show on the next turn of the event loop.
        for (const QString &item : {u"Save states"_s, u"Game library (database and artwork)"_s, u"BIOS files"_s}) {
            QTRY_VERIFY(toggle(page(), item));
            toggle(page(), item)->click();
        }
        QTRY_VERIFY(find<QLabel>(page(), u"Total to copy: Zero KB (the zip is usually a bit smaller)"_s));
        QVERIFY(!backup->isEnabled());
        QCOMPARE(backup->toolTip(), u"Choose something to back up."_s); // a disabled button says why
        QCOMPARE(backup->accessibleDescription(), backup->toolTip());
        QTRY_VERIFY(toggle(page(), u"Save states"_s));
        toggle(page(), u"Save states"_s)->click();
        QTRY_VERIFY(backup->isEnabled());
        QVERIFY(backup->toolTip().isEmpty());
        QVERIFY(m_model->backupItems()[0].include && !m_model->backupItems()[1].include);
        screenshot(u"backup"_s);

        m_window->showPage(MainWindow::Page::tidy);
        QTRY_VERIFY(find<QPushButton>(page(), u"Reveal in Finder"_s));
        QVERIFY(find<QLabel>(page(), u"Settings — not found"_s));
        screenshot(u"tidy"_s);

        m_window->showPage(MainWindow::Page::about);
        find<QPushButton>(page(), u"Project Wiki"_s)->click();
        QCOMPARE(m_workspace.opened.last(), QUrl(u"https://github.com/OpenEmu-Silicon/OpenEmu-Silicon/wiki"_s));
        screenshot(u"about"_s);
    }

    // Every text on every page reads at 4.5:1 or more against what is behind it, on a light and a
    // dark palette: secondary captions, status colours, banners and the release notes' links.
    void readableInBothPalettes()
    {
        const QPalette original = QApplication::palette();
        auto restore = qScopeGuard([&] { QApplication::setPalette(original); });
        QPalette dark;
        for (const auto &[role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
                 {QPalette::Window, QColor(0x1e, 0x1e, 0x1e)},
                 {QPalette::WindowText, QColor(0xdd, 0xdd, 0xdd)},
                 {QPalette::Base, QColor(0x2a, 0x2a, 0x2a)},
                 {QPalette::Text, QColor(0xdd, 0xdd, 0xdd)},
                 {QPalette::Button, QColor(0x35, 0x35, 0x35)},
                 {QPalette::ButtonText, QColor(0xdd, 0xdd, 0xdd)},
                 {QPalette::PlaceholderText, QColor(0x6b, 0x6b, 0x6b)},
                 {QPalette::Link, QColor(0x2a, 0x62, 0xba)},
                 {QPalette::Highlight, QColor(0x2a, 0x82, 0xda)}})
            dark.setColor(role, colour);
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s});
        for (const QPalette &palette : {QApplication::style()->standardPalette(), dark}) {
            QApplication::setPalette(palette);
            open();
            m_model->setNotice(u"A result."_s);
            m_model->setError(FriendlyError(u"A failure."_s, u"details"_s));
            const QColor window = QApplication::palette().color(QPalette::Window);
            for (int index = 0; index <= int(MainWindow::Page::about); ++index) {
                m_window->showPage(MainWindow::Page(index));
                QTest::qWait(20);
                for (QLabel *label : m_window->findChildren<QLabel *>()) {
                    if (!label->isVisibleTo(m_window.get()) || !label->isEnabled() || label->text().isEmpty()
                        || !label->pixmap().isNull())
                        continue;
                    const QString sheet = label->styleSheet();
                    const QColor ink = sheet.startsWith(u"color: "_s) ? QColor(sheet.mid(7))
                                                                      : label->palette().color(label->foregroundRole());
                    // Over a banner, its tint is laid over the window colour.
                    QColor behind = window;
                    for (QWidget *up = label; up; up = up->parentWidget()) {
                        const bool notice = qobject_cast<NoticeBanner *>(up), error = qobject_cast<ErrorBanner *>(up);
                        if (!notice && !error)
                            continue;
                        const QColor tint = notice ? QColor(52, 199, 89) : QColor(255, 149, 0);
                        const double a = notice ? 0.12 : 0.15;
                        behind = QColor::fromRgbF(float(window.redF() * (1 - a) + tint.redF() * a),
                                                  float(window.greenF() * (1 - a) + tint.greenF() * a),
                                                  float(window.blueF() * (1 - a) + tint.blueF() * a));
                        break;
                    }
                    QVERIFY2(Widgets::contrast(ink, behind) >= 4.5,
                             qPrintable(u"page %1, %2: \"%3\" %4 on %5"_s.arg(index).arg(
                                 window.lightnessF() < 0.5 ? u"dark"_s : u"light"_s, label->text().left(40), ink.name(),
                                 behind.name())));
                }
            }
            const QPalette notes = m_window->findChild<QTextBrowser *>()->palette();
            QVERIFY(Widgets::contrast(notes.color(QPalette::Link), notes.color(QPalette::Base)) >= 4.5);
            if (window.lightnessF() < 0.5) {
                m_window->showPage(MainWindow::Page::home);
                QTest::qWait(20);
                screenshot(u"dark"_s);
            }
            cleanup();
        }
    }

    // Work that runs shows at the bottom of whatever page is open, with a way back to its page.
    void progressWhereverTheUserIs()
    {
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/a.oesavestate"_s), "state");
        open();
        m_window->showPage(MainWindow::Page::tidy);
        m_prompter.folderAnswer = m_home.path(QString());
        bool shown = false;
        connect(m_model.get(), &AppModel::busyMessageChanged, this, [&] {
            if (m_model->busyMessage() != u"Creating backup…"_s || shown)
                return;
            shown = true;
            QVERIFY(find<QLabel>(m_window.get(), u"Creating backup…"_s)->isVisibleTo(m_window.get()));
            QPushButton *show = find<QPushButton>(m_window.get(), u"Show"_s);
            QVERIFY(show && show->isVisibleTo(m_window.get()));
            show->click();
            QCOMPARE(m_window->currentPage(), MainWindow::Page::backup);
            QVERIFY(!show->isVisibleTo(m_window.get())); // on its page: nothing to go to
        });
        QCOMPARE(await(m_model->runBackup()), Outcome::done);
        QVERIFY(shown);
    }

    // Tab goes through each page as it reads: top to bottom, and left to right along a row.
    void tabFollowsTheLayout()
    {
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s}); // an update
        // Data to back up and an earlier backup: the rows a page builds after its own buttons.
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/SNES/a.oesavestate/State"_s));
        TestFiles::write(m_home.path(u"Documents/OpenEmu Backups/OpenEmu-Backup-2026-12-06_21-07-45.zip"_s), "zip");
        open();
        for (int index = 0; index <= int(MainWindow::Page::about); ++index) {
            m_window->showPage(MainWindow::Page(index));
            QTest::qWait(50);
            QWidget *pageRoot = m_window->findChild<QStackedWidget *>()->currentWidget();
            QList<QWidget *> stops;
            QWidget *first = nullptr;
            for (QWidget *widget = pageRoot->nextInFocusChain(); widget && widget != pageRoot;
                 widget = widget->nextInFocusChain()) {
                if (widget == first)
                    break;
                if (!pageRoot->isAncestorOf(widget) || !(widget->focusPolicy() & Qt::TabFocus)
                    || !widget->isVisibleTo(m_window.get()) || !widget->isEnabled())
                    continue;
                if (!first)
                    first = widget;
                stops.append(widget);
            }
            const auto name = [](QWidget *w) {
                auto *button = qobject_cast<QAbstractButton *>(w);
                return button ? button->text() : w->accessibleName();
            };
            for (qsizetype i = 1; i < stops.size(); ++i) {
                const QRect a(stops[i - 1]->mapTo(m_window.get(), QPoint(0, 0)), stops[i - 1]->size());
                const QRect b(stops[i]->mapTo(m_window.get(), QPoint(0, 0)), stops[i]->size());
                // On the same row (overlapping vertically) it goes right; else it goes down.
                const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
                const bool forward = sameRow ? b.left() >= a.left() : b.top() >= a.top();
                QVERIFY2(forward, qPrintable(u"page %1: %2 \"%3\" then %4 \"%5\""_s.arg(index).arg(
                                      QString::fromLatin1(stops[i - 1]->metaObject()->className()), name(stops[i - 1]),
                                      QString::fromLatin1(stops[i]->metaObject()->className()), name(stops[i]))));
            }
        }
    }

    // Every control Tab reaches shows that it has focus: the pixels around it change when it takes
    // focus. And Tab reaches nothing that can't be used (a page's scroll area).
    void focusYouCanSee()
    {
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s}); // an update
        open();
        for (int index = 0; index <= int(MainWindow::Page::about); ++index) {
            m_window->showPage(MainWindow::Page(index));
            QTest::qWait(50);
            int seen = 0;
            for (QWidget *widget : m_window->findChildren<QWidget *>()) {
                if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(m_window.get())
                    || !widget->isEnabled())
                    continue;
                const QString where = u"page %1: %2 %3"_s.arg(index).arg(
                    QString::fromLatin1(widget->metaObject()->className()), widget->accessibleName());
                QVERIFY2(!qobject_cast<QScrollArea *>(widget) || qobject_cast<QAbstractItemView *>(widget)
                             || qobject_cast<QTextEdit *>(widget),
                         qPrintable(where));
                // Scrolled into view, as Tab does.
                if (auto *area = qobject_cast<QScrollArea *>(page()))
                    area->ensureWidgetVisible(widget, 8, 8);
                QTest::qWait(10);
                // The band just inside and outside the control's edge, on every side.
                const QRect edge(widget->mapTo(m_window.get(), QPoint(0, 0)), widget->size());
                const auto ring = [&] {
                    const QImage image = m_window->grab().toImage();
                    QList<QRgb> pixels;
                    const auto at = [&](int x, int y) {
                        if (image.rect().contains(x, y))
                            pixels << image.pixel(x, y);
                    };
                    for (int d = -3; d <= 2; ++d) {
                        for (int x = edge.left(); x <= edge.right(); ++x)
                            at(x, edge.top() + d), at(x, edge.bottom() - d);
                        for (int y = edge.top(); y <= edge.bottom(); ++y)
                            at(edge.left() + d, y), at(edge.right() - d, y);
                    }
                    return pixels;
                };
                widget->setFocus(Qt::TabFocusReason);
                QTest::qWait(10);
                const QList<QRgb> focused = ring();
                widget->clearFocus();
                QTest::qWait(10);
                QVERIFY2(ring() != focused, qPrintable(where));
                ++seen;
            }
            QVERIFY(seen > 0);
        }
    }

    // Every control a screen reader reaches on a page says what it acts on: no empty names, and no
    // two alike ("Reveal in Finder" four times tells nothing).
    void namesAScreenReaderCanUse()
    {
        const QString support = m_home.path(u"Library/Application Support/OpenEmu"_s);
        for (const QString &file : {u"/BIOS/scph5501.bin"_s, u"/Save States/SNES/Game/a.oesavestate/State"_s,
                                    u"/Game Library/Library.storedata"_s})
            TestFiles::write(support + file, "data");
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s});
        Bundles::write(Paths::previousVersionsFolder(), u"OpenEmu 1.0.2.app"_s, {.version = u"1.0.2"_s});
        open();
        m_model->setNotice(u"Done."_s);
        for (int index = 0; index <= int(MainWindow::Page::about); ++index) {
            m_window->showPage(MainWindow::Page(index));
            QTest::qWait(50);
            QStringList names;
            for (QWidget *widget : m_window->findChildren<QWidget *>()) {
                const bool interactive = qobject_cast<QAbstractButton *>(widget)
                                         || qobject_cast<QAbstractItemView *>(widget)
                                         || qobject_cast<QLineEdit *>(widget);
                if (!interactive || !widget->isVisibleTo(m_window.get()) || widget->focusPolicy() == Qt::NoFocus)
                    continue;
                QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(widget);
                const QString name = reader ? reader->text(QAccessible::Name) : QString();
                const QString where = u"page %1: %2 \"%3\""_s.arg(index).arg(
                    QString::fromLatin1(widget->metaObject()->className()), name);
                QVERIFY2(!name.trimmed().isEmpty(), qPrintable(where));
                QVERIFY2(!names.contains(name), qPrintable(where + u" twice"_s));
                names.append(name);
            }
        }
    }

    // The Save states page: the tree by system and game, newest first, sortable, filtered to the
    // states that may not load, and the selected one in full with its screenshot.
    void saveStatesPage()
    {
        const QString support = m_home.path(u"Library/Application Support/OpenEmu"_s);
        Bundles::write(support + u"/Cores"_s, u"Snes9x.oecoreplugin"_s,
                       {.identifier = u"org.openemu.Snes9x"_s, .bundleVersion = u"1.63"_s});
        const QDateTime now = QDateTime::currentDateTime();
        int age = 10;
        const auto state = [&](const QString &where, const QString &name, const QString &version) {
            const QString bundle = support + u"/Save States/"_s + where + u".oesavestate"_s;
            TestFiles::write(bundle + u"/State"_s, "state");
            QVERIFY(TestFiles::touch(bundle + u"/State"_s, now.addSecs(-3600 * age--))); // each newer than the last
            Bundles::writePreferences(bundle + u"/Info.plist"_s, {{u"Name"_s, name},
                                                                  {u"ROM MD5"_s, u"0123"_s},
                                                                  {u"Core Identifier"_s, u"org.openemu.Snes9x"_s},
                                                                  {u"Core Version"_s, version}});
        };
        state(u"SNES/Mario World/a"_s, u"OESpecialState_auto"_s, u"1.60"_s);
        state(u"SNES/Mario World/s11"_s, u"Slot 11"_s, u"1.63"_s);
        state(u"SNES/Mario World/s2"_s, u"Slot 2"_s, u"1.63"_s);
        state(u"SFC/Zelda/d"_s, u"Other system, same game"_s, u"1.63"_s);
        state(u"SNES/Zelda/c"_s, u"OESpecialState_quick2"_s, u"1.63"_s);
        // The screenshot OpenEmu keeps in every bundle.
        QImage shot(320, 240, QImage::Format_RGB32);
        shot.fill(Qt::red);
        {
            QPainter paint(&shot); // a little scene, for the README's picture
            paint.fillRect(0, 0, 320, 60, QColor(92, 148, 252));
            paint.fillRect(0, 200, 320, 40, QColor(200, 76, 12));
            paint.fillRect(40, 150, 40, 50, QColor(0, 168, 0));
        }
        QVERIFY(shot.save(support + u"/Save States/SNES/Mario World/a.oesavestate/ScreenShot"_s, "PNG"));
        open();
        m_window->showPage(MainWindow::Page::systems);
        QTRY_VERIFY(find<QLabel>(page(), u"Snes9x"_s));

        find<QAction>(m_window.get(), u"Save states"_s)->trigger();
        QCOMPARE(m_window->currentPage(), MainWindow::Page::saveStates);
        QTRY_VERIFY(find<QLabel>(page(), u"1 save state was made with a different core version and may not load."_s));
        auto *view = page()->findChild<QTreeView *>();
        QAbstractItemModel *tree = view->model();
        QAbstractItemModelTester tester(tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto names = [&](const QModelIndex &parent) {
            QStringList found;
            for (int row = 0; row < tree->rowCount(parent); ++row)
                found.append(tree->index(row, 0, parent).data().toString());
            return found;
        };

        // Newest first: SNES holds the newest state, and within it Zelda.
        QCOMPARE(names({}), (QStringList{u"SNES"_s, u"SFC"_s}));
        const QModelIndex snes = tree->index(0, 0);
        QCOMPARE(names(snes), (QStringList{u"Zelda"_s, u"Mario World"_s}));
        QCOMPARE(tree->index(0, SaveStateTree::status).data().toString(), u"1 of 4 may not load"_s);
        QModelIndex mario = tree->index(1, 0, snes);
        QCOMPARE(names(mario), (QStringList{u"Slot 2"_s, u"Slot 11"_s, u"Auto Save State"_s}));

        // By name, as the Finder orders them: Slot 2 before Slot 11, whatever their dates.
        view->header()->setSortIndicator(SaveStateTree::name, Qt::AscendingOrder);
        QCOMPARE(names({}), (QStringList{u"SFC"_s, u"SNES"_s}));
        mario = tree->index(0, 0, tree->index(1, 0));
        QCOMPARE(names(mario), (QStringList{u"Auto Save State"_s, u"Slot 2"_s, u"Slot 11"_s}));
        view->header()->setSortIndicator(SaveStateTree::name, Qt::DescendingOrder);
        QCOMPARE(names(tree->index(1, 0, tree->index(0, 0))),
                 (QStringList{u"Slot 11"_s, u"Slot 2"_s, u"Auto Save State"_s}));
        // By status, the worst first.
        view->header()->setSortIndicator(SaveStateTree::status, Qt::DescendingOrder);
        const QModelIndex risky = tree->index(0, SaveStateTree::status, tree->index(0, 0, tree->index(0, 0)));
        QCOMPARE(risky.siblingAtColumn(0).data().toString(), u"Auto Save State"_s);

        // A mark and a short word in the list; the whole sentence in the tooltip and the pane.
        const QString sentence = u"OpenEmu will warn before loading it: made with Snes9x 1.60; installed: 1.63"_s;
        QCOMPARE(risky.data().toString(), u"May not load"_s);
        QCOMPARE(risky.data(Qt::ToolTipRole).toString(), sentence);
        QVERIFY(!risky.data(Qt::DecorationRole).value<QIcon>().isNull());
        QPushButton *reveal = find<QPushButton>(page(), u"Reveal in Finder"_s);
        QVERIFY(!reveal->isEnabled());
        view->setCurrentIndex(risky);
        QVERIFY(reveal->isEnabled());
        QVERIFY(find<QLabel>(page(), sentence + u'.'));
        // Its screenshot, read off the main thread, in the pane.
        QLabel *thumbnail = nullptr;
        for (QLabel *label : page()->findChildren<QLabel *>())
            thumbnail = label->accessibleName() == u"Screenshot of the save state"_s ? label : thumbnail;
        QVERIFY(thumbnail);
        QTRY_COMPARE(thumbnail->pixmap().size(), QSize(200, 150)); // 320 × 240, fitted
        QCOMPARE(thumbnail->pixmap().toImage().pixelColor(100, 75), QColor(Qt::red));
        view->header()->setSortIndicator(SaveStateTree::date, Qt::DescendingOrder); // as the page opens
        screenshot(u"save-states"_s);
        reveal->click();
        QCOMPARE(m_workspace.revealed.last(), support + u"/Save States/SNES/Mario World/a.oesavestate"_s);

        // Only those that may not load: one system, one game, one state.
        find<QCheckBox>(page(), u"Show only states that may not load"_s)->click();
        QCOMPARE(names({}), QStringList{u"SNES"_s});
        QCOMPARE(names(tree->index(0, 0)), QStringList{u"Mario World"_s});
        QCOMPARE(names(tree->index(0, 0, tree->index(0, 0))), QStringList{u"Auto Save State"_s});
        find<QCheckBox>(page(), u"Show only states that may not load"_s)->click();
        QCOMPARE(tree->rowCount(), 2);
    }

    // More systems and games than states' worth of room: every row still where it belongs (the
    // tree's nodes move in memory as it grows).
    void saveStateTreeHoldsEveryRow()
    {
        QList<JudgedState> states;
        for (int i = 0; i < 3000; ++i) {
            SaveState state;
            state.system = u"System %1"_s.arg(i % 7);
            state.game = u"Game %1"_s.arg(i / 3);
            state.name = u"State %1"_s.arg(i);
            state.path = u"/s/%1/%2/%3.oesavestate"_s.arg(state.system, state.game, state.name);
            states.append({state, u"matches"_s, u"Snes9x"_s, u"1.63"_s});
        }
        SaveStateTree tree;
        QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        tree.setStates(states);
        int leaves = 0;
        for (int s = 0; s < tree.rowCount(); ++s) {
            const QModelIndex system = tree.index(s, 0);
            for (int g = 0; g < tree.rowCount(system); ++g) {
                const QModelIndex game = tree.index(g, 0, system);
                QCOMPARE(game.parent(), system);
                for (int r = 0; r < tree.rowCount(game); ++r) {
                    const QString path = tree.index(r, 0, game).data(SaveStateTree::pathRole).toString();
                    QVERIFY(path.startsWith(u"/s/"_s + system.data().toString() + u'/' + game.data().toString()));
                    ++leaves;
                }
            }
        }
        QCOMPARE(leaves, 3000);
    }

    // Every word-wrapped label has the height its text needs, and no page needs a horizontal
    // scrollbar, on every page in the states below, at the two sizes people use most.
    void nothingClipsOrScrollsSideways()
    {
        auto check = [this](const char *state) {
            for (const QSize size : {QSize(900, 600), QSize(1200, 850)}) {
                m_window->resize(size);
                for (int index = 0; index <= int(MainWindow::Page::about); ++index) {
                    m_window->showPage(MainWindow::Page(index));
                    QTest::qWait(20); // layouts settle on the event loop
                    for (QLabel *label : page()->findChildren<QLabel *>()) {
                        if (!label->isVisibleTo(m_window.get()) || !label->wordWrap() || label->text().isEmpty())
                            continue;
                        const QString where
                            = u"%1, %2 px wide, page %3: "_s.arg(QLatin1String(state)).arg(size.width()).arg(index);
                        QVERIFY2(label->heightForWidth(label->width()) <= label->height() + 1,
                                 qPrintable(where + label->text().left(60)));
                    }
                    auto *area = qobject_cast<QScrollArea *>(page());
                    QVERIFY2(!area || area->horizontalScrollBar()->maximum() == 0, qPrintable(u"page %1"_s.arg(index)));
                }
            }
        };
        // Status colours keep 4.5:1 against the window, light and dark.
        for (const QColor window : {QColor(Qt::white), QColor(0xec, 0xec, 0xec), QColor(0x1e, 0x1e, 0x1e)}) {
            for (const Widgets::Tone tone :
                 {Widgets::Tone::success, Widgets::Tone::warning, Widgets::Tone::danger, Widgets::Tone::accent})
                QVERIFY(Widgets::contrast(Widgets::tone(tone, window), window) >= 4.5);
        }
        open(); // first launch: nothing installed, the release loaded
        check("first launch");
        cleanup();
        m_server.json(feedPath, "gone", 404); // offline
        open();
        check("offline");
        cleanup();
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath, {.version = u"1.0.4"_s});
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s});
        open(); // an update available
        m_model->setError(FriendlyError(u"Something failed, and the sentence that says so is rather long."_s, u"x"_s));
        check("update available");
        cleanup();

        // The largest text the system offers: still no sideways scrolling, and a minimum window
        // that fits a 1280×800 screen. On a wide window the lines stay short enough to read.
        const QFont font = QApplication::font();
        auto restore = qScopeGuard([font] { QApplication::setFont(font); });
        QFont large = font;
        large.setPointSizeF(font.pointSizeF() * 1.5);
        QApplication::setFont(large);
        open();
        check("large font");
        const QSize minimum = m_window->minimumSizeHint().expandedTo(m_window->minimumSize());
        QVERIFY2(minimum.width() <= 1280 && minimum.height() <= 800,
                 qPrintable(u"%1×%2"_s.arg(minimum.width()).arg(minimum.height())));
        m_window->resize(1900, 1000);
        m_window->showPage(MainWindow::Page::home);
        QTest::qWait(20);
        for (QLabel *label : page()->findChildren<QLabel *>()) {
            if (label->isVisibleTo(m_window.get()))
                QVERIFY2(label->width() <= 800, qPrintable(label->text().left(40)));
        }
    }

    void menusKeysAndBanners()
    {
        open();
        QVERIFY(!m_window->checkForUpdatesAction()->isEnabled()); // nothing installed: no button either
        find<QAction>(m_window.get(), u"Systems"_s)->trigger();
        QCOMPARE(m_window->currentPage(), MainWindow::Page::systems);
        // "&" in a page's name is shown, not taken for a shortcut letter.
        QCOMPARE(find<QAction>(m_window.get(), u"Backup && restore"_s)->iconText(), u"Backup & restore"_s);
        m_window->findChild<QListWidget *>()->setCurrentRow(4); // the sidebar
        QCOMPARE(m_window->currentPage(), MainWindow::Page::tidy);
        QVERIFY(find<QPushButton>(page(), u"Uninstall OpenEmu-Silicon…"_s));
        find<QAction>(m_window.get(), u"About Vantor"_s)->trigger();
        QCOMPARE(m_window->currentPage(), MainWindow::Page::about);
        QVERIFY(find<QLabel>(page(), u"Version "_s + QStringLiteral(VANTOR_VERSION)));

        // Switching pages drops the notice, not the error.
        m_model->setError(FriendlyError(u"Failed."_s));
        m_model->setNotice(u"Done."_s);
        m_window->showPage(MainWindow::Page::home);
        QVERIFY(m_model->error() && !m_model->notice());

        // A declined action leaves the banners; one that starts clears them.
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.4"_s});
        Bundles::write(Paths::previousVersionsFolder(), u"OpenEmu 1.0.3.app"_s, {.version = u"1.0.3"_s});
        m_model->refreshInstalled();
        QVERIFY(m_window->checkForUpdatesAction()->isEnabled());
        m_prompter.answers = {1};
        await(m_model->rollback());
        QVERIFY(m_model->error());
        QList<bool> errorShownWhileRunning;
        connect(m_model.get(), &AppModel::busyMessageChanged, this,
                [&] { errorShownWhileRunning.append(m_model->error().has_value()); });
        m_prompter.answers = {0};
        await(m_model->rollback());
        QCOMPARE(errorShownWhileRunning.first(), false);
    }

    void quittingDuringAnInstall()
    {
        m_server.route(
            u"/download/1.0.4/OpenEmu-Silicon.zip"_s,
            FeedServer::Route::slowly(m_server.routeOf(u"/download/1.0.4/OpenEmu-Silicon.zip"_s)->body, 1024, 50));
        open();
        QCoro::Task<Outcome> running = m_model->install(false);
        QTRY_COMPARE(m_model->phase(), InstallPhase::downloading);

        // Asked first; keeping on working leaves the install running.
        auto shownBox = [] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); };
        QVERIFY(!m_window->close());
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = shownBox()));
        QCOMPARE(box->text(), u"An install is running. Quit anyway?"_s);
        find<QPushButton>(box, u"Keep Working"_s)->click();
        QTest::qWait(50);
        QCOMPARE(m_model->phase(), InstallPhase::downloading);

        // Confirming cancels it as Cancel does, and the window closes once it has ended.
        QVERIFY(!m_window->close());
        QTRY_VERIFY((box = shownBox()));
        find<QPushButton>(box, u"Cancel Install and Quit"_s)->click();
        QCOMPARE(await(std::move(running)), Outcome::cancelled);
        QTRY_VERIFY(!m_window->isVisible());
    }

    // Questions are sheets on the window (window-modal), not free windows; a list question puts
    // its extra choice at the left and its default at the far right, as the Mac does.
    void questionsAreSheetsOnTheWindow()
    {
        QWidget window;
        window.show();
        DialogPrompter dialogs(&window);
        QCoro::Task<int> asking = dialogs.ask({Prompter::AlertId::restore,
                                               u"Restore this backup?"_s,
                                               {},
                                               {u"Restore"_s, u"Cancel"_s},
                                               Prompter::Style::warning,
                                               1});
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QWidget *sheet = QApplication::activeModalWidget();
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->parentWidget(), &window);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QCOMPARE(await(std::move(asking)), 1);

        const Prompter::List list{
            Prompter::ListId::restoreChoice,
            u"Which backup do you want to restore?"_s,
            {},
            {{u"/a.zip"_s, u"Backup, today"_s, u"1 MB"_s, true}, {u"/b.zip"_s, u"Backup, before"_s, {}, false}},
            false,
            {u"Restore"_s, u"Choose a File…"_s, u"Cancel"_s},
            0};
        QCoro::Task<Prompter::Picked> picking = dialogs.pick(list);
        QTRY_VERIFY(QApplication::activeModalWidget());
        sheet = QApplication::activeModalWidget();
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QPushButton *restore = find<QPushButton>(sheet, u"Restore"_s);
        QPushButton *other = find<QPushButton>(sheet, u"Choose a File…"_s);
        QPushButton *cancel = find<QPushButton>(sheet, u"Cancel"_s);
        QVERIFY(other->x() < cancel->x() && cancel->x() < restore->x());
        QVERIFY(restore->isEnabled() && restore->isDefault());
        auto *rows = sheet->findChild<QListWidget *>();
        rows->setCurrentRow(1);
        restore->click();
        const Prompter::Picked picked = await(std::move(picking));
        QCOMPARE(picked.button, 0);
        QCOMPARE(picked.rows, QStringList{u"/b.zip"_s});
    }

    // The menus a Mac user reaches for, and About last in the sidebar.
    void macShapedMenus()
    {
        open();
        auto *sidebar = m_window->findChild<QListWidget *>();
        QCOMPARE(sidebar->item(sidebar->count() - 1)->text(), u"About"_s);
        const auto action = [&](const QString &text) { return find<QAction>(m_window.get(), text); };
        QCOMPARE(m_window->checkForUpdatesAction()->text(), u"Check for OpenEmu Updates"_s);
        QCOMPARE(m_window->checkForUpdatesAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QCOMPARE(action(u"Minimize"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
        QVERIFY(action(u"Zoom"_s) && action(u"First Game Guide"_s));
        action(u"OpenEmu-Silicon Wiki"_s)->trigger();
        QCOMPARE(m_workspace.opened.last(), QUrl(u"https://github.com/OpenEmu-Silicon/OpenEmu-Silicon/wiki"_s));

        // Settings… (Cmd+,) holds the automatic backup and the backup folder, both live.
        QAction *settings = action(u"Settings…"_s);
        QCOMPARE(settings->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        QCOMPARE(settings->menuRole(), QAction::PreferencesRole);
        settings->trigger();
        QDialog *window = m_window->findChild<QDialog *>();
        QTRY_VERIFY(window && window->isVisible());
        auto *autoBackup = window->findChild<QCheckBox *>();
        QVERIFY(autoBackup->isChecked());
        autoBackup->click();
        QVERIFY(!m_model->autoBackupBeforeUpdate());
        QVERIFY(find<QLabel>(window, u"Back up to: "_s + m_home.path(u"Documents/OpenEmu Backups"_s)));
        settings->trigger(); // one window, brought forward
        QCOMPARE(m_window->findChildren<QDialog *>().size(), 1);
    }

    // Return answers the default button: the safe one where "yes" moves the data to the Trash.
    void returnTakesTheSafeAnswer()
    {
        DialogPrompter dialogs;
        const Prompter::Alert question{Prompter::AlertId::uninstallData,          u"Also remove OpenEmu's data?"_s, {},
                                       {u"Move Data to Trash"_s, u"Keep Data"_s}, Prompter::Style::warning,         1};
        QCoro::Task<int> asking = dialogs.ask(question);
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
        QCOMPARE(await(std::move(asking)), 1);

        // Of several choices, Escape takes the last (Cancel), whatever the default.
        const Prompter::Alert which{
            Prompter::AlertId::restoreChoice,
            u"Which backup do you want to restore?"_s,
            {},
            {u"Automatic Backup, 1"_s, u"Automatic Backup, 2"_s, u"Choose a File…"_s, u"Cancel"_s},
            Prompter::Style::informational,
            2};
        QCoro::Task<int> choosing = dialogs.ask(which);
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        QCOMPARE(await(std::move(choosing)), 3);
    }

private:
    void open()
    {
        m_model = std::make_unique<AppModel>(m_server.urlText(feedPath), m_prompter, m_workspace);
        m_window = std::make_unique<MainWindow>(*m_model);
        m_window->resize(1000, 760);
        m_window->show();
        QTRY_VERIFY(m_model->isSettling() || m_model->latest() || m_model->error());
        TestSupport::settle(*m_model);
    }

    QWidget *page() const { return m_window->findChild<QStackedWidget *>()->currentWidget(); }
    void screenshot(const QString &name) const
    {
        m_window->grab().save(QStringLiteral(VANTOR_SCREENSHOTS "/%1.png").arg(name));
    }

    TestHome &m_home = TestHome::shared();
    FeedServer m_server;
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(UiTest)
#include "tst_ui.moc"
