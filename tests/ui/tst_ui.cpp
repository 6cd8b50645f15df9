#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "TestHome.h"

#include "app/AppModel.h"
#include "base/Paths.h"
#include "ui/Banners.h"
#include "ui/HomePage.h"
#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>

#include <qcoro/qcorosignal.h>

#include <SDL.h>

using TestSupport::await;

namespace {

const QString feedPath = QStringLiteral("/repos/nickybmon/OpenEmu-Silicon/releases/latest");

// The visible control with this text on the window's current page or banners.
// The Backup page's toggle for an item, found by its title.
QAbstractButton *toggle(QWidget *root, const QString &title)
{
    for (auto *box : root->findChildren<QAbstractButton *>()) {
        if (box->isVisibleTo(root) && box->accessibleName() == title)
            return box;
    }
    return nullptr;
}

template <typename T>
T *find(QWidget *root, const QString &text)
{
    for (T *widget : root->findChildren<T *>()) {
        if (widget->isVisibleTo(root) && widget->text() == text)
            return widget;
    }
    return nullptr;
}

QCoro::Task<> settled(AppModel &model)
{
    if (model.isSettling())
        co_await qCoro(&model, &AppModel::settled);
}

} // namespace

class UiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void navigationAndLabels();
    void bannersFollowTheModel();
    void homeInstallRules();
    void installedCardAndProgress();
    void releaseNotesRendering();
    void otherPages();

private:
    void open();
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

void UiTest::init()
{
    m_home.reset();
    Paths::setBundleID(Paths::defaultBundleID);
    qputenv("VANTOR_HOST", "macos-14.5.0-arm64");
    SampleRelease::publish(m_server, m_home.path(QStringLiteral("release")), feedPath,
                           {.version = QStringLiteral("1.0.4"),
                            .notes = QStringLiteral("# Heading\n**bold** and *soft* and `code`\n- item")});
}

void UiTest::cleanup()
{
    m_window.reset();
    m_model.reset();
}

void UiTest::open()
{
    m_model = std::make_unique<AppModel>(m_server.urlText(feedPath), m_prompter, m_workspace);
    m_window = std::make_unique<MainWindow>(*m_model);
    m_window->resize(1000, 760);
    m_window->show();
    QTRY_VERIFY(m_model->isSettling() || m_model->latest() || m_model->error());
    await(settled(*m_model));
}

void UiTest::navigationAndLabels()
{
    open();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Vantor"));
    QCOMPARE(m_window->minimumSize(), QSize(900, 600));
    auto *sidebar = m_window->findChild<QListWidget *>();
    QStringList labels;
    for (int i = 0; i < sidebar->count(); ++i)
        labels.append(sidebar->item(i)->text());
    QCOMPARE(labels,
             (QStringList{QStringLiteral("Home"), QStringLiteral("First game guide"), QStringLiteral("Systems"),
                          QStringLiteral("Backup & restore"), QStringLiteral("Tidy"), QStringLiteral("About")}));
    QCOMPARE(m_window->currentPage(), MainWindow::Page::home);
    sidebar->setCurrentRow(4);
    QCOMPARE(m_window->currentPage(), MainWindow::Page::tidy);
    QVERIFY(find<QPushButton>(page(), QStringLiteral("Uninstall OpenEmu-Silicon…")));
}

void UiTest::bannersFollowTheModel()
{
    open();
    m_model->setError(FriendlyError(QStringLiteral("Something failed."), QString()));
    m_model->setNotice(QStringLiteral("All good."));
    auto *error = m_window->findChild<ErrorBanner *>();
    QVERIFY(error->isVisible());
    QVERIFY(!find<QToolButton>(error, QStringLiteral("Show Details"))); // no details, no disclosure
    m_model->setError(FriendlyError(QStringLiteral("Something else failed."), QStringLiteral("line 1\nline 2")));
    QToolButton *details = find<QToolButton>(error, QStringLiteral("Show Details"));
    QVERIFY(details);
    auto *box = error->findChild<QPlainTextEdit *>();
    QVERIFY(!box->isVisible()); // collapsed at first
    details->click();
    QVERIFY(box->isVisible());
    QVERIFY(box->maximumHeight() <= 120);
    screenshot(QStringLiteral("banners"));

    find<QPushButton>(error, QStringLiteral("Dismiss"))->click();
    QVERIFY(!m_model->error());
    QCOMPARE(m_model->notice(), QStringLiteral("All good."));
    QVERIFY(!error->isVisible());
    auto *notice = m_window->findChild<NoticeBanner *>();
    find<QPushButton>(notice, QStringLiteral("Dismiss"))->click();
    QVERIFY(!m_model->notice());
}

void UiTest::homeInstallRules()
{
    open();
    QPushButton *install = find<QPushButton>(page(), QStringLiteral("Install OpenEmu-Silicon"));
    QVERIFY(install);
    QVERIFY(install->isEnabled());
    QVERIFY(find<QLabel>(page(), QStringLiteral("Latest version: v1.0.4")));
    screenshot(QStringLiteral("home-install"));

    qputenv("VANTOR_HOST", "macos-10.15.7-arm64"); // the host is asked afresh at every redraw
    m_model->setNotice(QStringLiteral("redraw"));
    QVERIFY(!install->isEnabled());
    QVERIFY(find<QLabel>(page(), QStringLiteral("Sorry, this Mac's macOS is too old for OpenEmu-Silicon.")));
    qputenv("VANTOR_HOST", "macos-14.5.0-arm64");

    // A release with nothing installable.
    SampleRelease::publish(m_server, m_home.path(QStringLiteral("release")), feedPath,
                           {.zip = false, .otherAssets = {QStringLiteral("OpenEmu.dmg.sha256")}});
    await(m_model->checkLatest());
    QVERIFY(find<QLabel>(page(), QStringLiteral("This release has no downloadable app file.")));
    QVERIFY(!install->isEnabled());

    // The install location choice writes the model.
    find<QAbstractButton>(page(), QStringLiteral("/Applications (needs permission)"))->click();
    QVERIFY(m_model->installToSystemApplications());
}

void UiTest::installedCardAndProgress()
{
    Bundles::write(m_home.userApplications(), QStringLiteral("OpenEmu.app"), {.version = QStringLiteral("1.0.3")});
    Bundles::write(Paths::previousVersionsFolder(), QStringLiteral("OpenEmu 1.0.2.app"));
    open();
    QVERIFY(find<QLabel>(page(), QStringLiteral("Installed version 1.0.3")));
    QVERIFY(find<QLabel>(page(), QStringLiteral("Update available: v1.0.4")));
    QPushButton *update = find<QPushButton>(page(), QStringLiteral("Update"));
    QVERIFY(update && update->isEnabled());
    QVERIFY(find<QPushButton>(page(), QStringLiteral("Roll back…")));
    QVERIFY(!find<QPushButton>(page(), QStringLiteral("Cancel")));

    screenshot(QStringLiteral("home-update-available"));

    // Watch the progress card through the phases of a real update.
    QStringList titles;
    bool cancelEnabledWhileDownloading = false;
    // After `changed`, which the pages redraw on.
    connect(m_model.get(), &AppModel::changed, this, [&] {
        for (auto *card : page()->findChildren<QLabel *>()) {
            const QString t = card->text();
            if (card->isVisibleTo(page()) && t.endsWith(QChar(0x2026)) && !titles.contains(t)
                && t != QStringLiteral("Roll back…"))
                titles.append(t);
        }
        if (m_model->phase() == InstallPhase::downloading)
            cancelEnabledWhileDownloading |= find<QPushButton>(page(), QStringLiteral("Cancel"))->isEnabled();
        if (m_model->phase() == InstallPhase::unpacking)
            screenshot(QStringLiteral("home-progress"));
    });
    update->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->isInstalling(), 30'000);
    QVERIFY(titles.contains(QStringLiteral("Downloading…")));
    QVERIFY(titles.contains(QStringLiteral("Unpacking…")));
    QVERIFY(cancelEnabledWhileDownloading);
    QTRY_VERIFY(find<QLabel>(page(), QStringLiteral("Installed version 1.0.4")));
    QVERIFY(find<QLabel>(page(), QStringLiteral("You're up to date.")));
    QVERIFY(!find<QPushButton>(page(), QStringLiteral("Update")));
    screenshot(QStringLiteral("home-installed"));
}

void UiTest::releaseNotesRendering()
{
    const QString html = HomePage::notesHtml(
        QStringLiteral("# Heading\n**bold** and *soft*, `x<y` ~~old~~ [site](https://a.b/c)\n- item"));
    QVERIFY(html.contains(QStringLiteral("# Heading")));
    QVERIFY(html.contains(QStringLiteral("<b>bold</b>")));
    QVERIFY(html.contains(QStringLiteral("<i>soft</i>")));
    QVERIFY(html.contains(QStringLiteral("<code>x&lt;y</code>")));
    QVERIFY(html.contains(QStringLiteral("<s>old</s>")));
    QVERIFY(html.contains(QStringLiteral("<a href=\"https://a.b/c\">site</a>")));
    QVERIFY(html.contains(QStringLiteral("\n- item")));

    open();
    auto *notes = page()->findChild<QTextBrowser *>();
    QVERIFY(notes->isVisibleTo(page()));
    QVERIFY(notes->toPlainText().startsWith(QStringLiteral("# Heading")));
    QVERIFY(notes->maximumHeight() <= 220);
}

void UiTest::otherPages()
{
    // Some data for the pages to show: a BIOS file, save states, settings and a controller.
    const QString support = m_home.path(QStringLiteral("Library/Application Support/OpenEmu"));
    for (const QString &file :
         {QStringLiteral("/BIOS/scph5501.bin"), QStringLiteral("/Save States/SNES/slot1.oesavestate"),
          QStringLiteral("/Game Library/Library.storedata")}) {
        QDir().mkpath(QFileInfo(support + file).path());
        QFile data(support + file);
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(QByteArray(5000, 'd'));
    }
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    const int pad = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1);
    auto detach = qScopeGuard([pad] {
        SDL_JoystickDetachVirtual(pad);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    });
    open();
    m_window->showPage(MainWindow::Page::systems);
    QVERIFY(find<QLabel>(page(), QStringLiteral("42 entries")));
    QLabel *bios = find<QLabel>(page(), QStringLiteral("BIOS: 5200.rom"));
    QVERIFY(bios && bios->styleSheet().contains(QStringLiteral("#ff9500"))); // orange
    QLabel *none = find<QLabel>(page(), QStringLiteral("No BIOS needed"));
    QVERIFY(none && none->styleSheet().contains(QStringLiteral("#34c759"))); // green
    QVERIFY(find<QLabel>(page(), QStringLiteral("Core: blueMSX 2.8.3 · Partial support")));
    screenshot(QStringLiteral("systems"));

    m_window->showPage(MainWindow::Page::guide);
    QVERIFY(find<QLabel>(page(), QStringLiteral("No folder chosen yet.")));
    QTRY_VERIFY(find<QLabel>(page(), QStringLiteral("1 system(s) have their BIOS file(s).")));
    QVERIFY(find<QLabel>(page(), QStringLiteral("Any of: scph5500.bin, scph5501.bin, scph5502.bin")));
    QTRY_VERIFY_WITH_TIMEOUT(find<QLabel>(page(), QStringLiteral("1 controller(s) connected.")), 5000);
    m_prompter.folderAnswer = m_home.path(QStringLiteral("Games"));
    find<QPushButton>(page(), QStringLiteral("Choose folder…"))->click();
    QTRY_VERIFY(find<QLabel>(page(), m_home.path(QStringLiteral("Games"))));
    find<QPushButton>(page(), QStringLiteral("Open in Finder"))->click();
    QCOMPARE(m_model->error()->message,
             QStringLiteral("That folder doesn't exist yet. Start OpenEmu once so it can create it."));
    screenshot(QStringLiteral("guide"));

    m_window->showPage(MainWindow::Page::backup);
    QPushButton *backup = find<QPushButton>(page(), QStringLiteral("Back up…"));
    QVERIFY(backup && backup->isEnabled());
    // The total and the button follow the toggles.
    // A toggle rebuilds the list; the new rows show on the next turn of the event loop.
    for (const QString &item :
         {QStringLiteral("Save states"), QStringLiteral("Game library (database and battery saves)")}) {
        QTRY_VERIFY(toggle(page(), item));
        toggle(page(), item)->click();
    }
    QTRY_VERIFY(find<QLabel>(page(), QStringLiteral("Total to copy: Zero KB (the zip is usually a bit smaller)")));
    QVERIFY(!find<QPushButton>(page(), QStringLiteral("Back up…"))->isEnabled());
    QTRY_VERIFY(toggle(page(), QStringLiteral("Save states")));
    toggle(page(), QStringLiteral("Save states"))->click();
    QTRY_VERIFY(find<QPushButton>(page(), QStringLiteral("Back up…"))->isEnabled());
    QVERIFY(m_model->backupItems()[0].include && !m_model->backupItems()[1].include);
    screenshot(QStringLiteral("backup"));

    m_window->showPage(MainWindow::Page::tidy);
    QTRY_VERIFY(find<QPushButton>(page(), QStringLiteral("Reveal in Finder")));
    QVERIFY(find<QLabel>(page(), QStringLiteral("Settings — not found")));
    screenshot(QStringLiteral("tidy"));

    m_window->showPage(MainWindow::Page::about);
    find<QPushButton>(page(), QStringLiteral("Project wiki"))->click();
    QCOMPARE(m_workspace.opened.last(), QUrl(QStringLiteral("https://github.com/nickybmon/OpenEmu-Silicon/wiki")));
    screenshot(QStringLiteral("about"));
}

QTEST_MAIN(UiTest)
#include "tst_ui.moc"
