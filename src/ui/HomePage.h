#pragma once

#include <QWidget>

class AppModel;
class Card;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTextBrowser;

// The first page: can this Mac run it, is it installed, install or update it, the progress of
// a running install, and the release notes. Built once; sync() only changes texts, states and
// visibility, so that download progress many times a second stays cheap.
class HomePage : public QWidget
{
    Q_OBJECT

public:
    explicit HomePage(AppModel &model, QWidget *parent = nullptr);

    // Release notes as styled text: emphasis, strong, code, strikethrough and links; block
    // syntax (headings, list markers) stays literal, white space and line breaks are kept.
    // Release notes, rendered from Markdown into the box, which grows with them up to 220 px.
    static void showNotes(QTextBrowser *box, const QString &markdown);

private:
    void sync();
    void syncProgress();

    AppModel &m_model;
    QLabel *m_macOS;
    QLabel *m_macOSIcon;
    QLabel *m_silicon;
    QLabel *m_siliconIcon;
    QLabel *m_tooOld;

    Card *m_installCard;
    QLabel *m_latestVersion;
    QLabel *m_download;
    QRadioButton *m_userFolder;
    QRadioButton *m_systemFolder;
    QLabel *m_signedNote;
    QPushButton *m_install;
    QWidget *m_loadingInstall;
    QLabel *m_couldNotLoad;
    QPushButton *m_tryAgain;

    Card *m_installedCard;
    QLabel *m_installedVersion;
    QLabel *m_installedPath;
    QLabel *m_updateState;
    QPushButton *m_launch;
    QPushButton *m_check;
    QPushButton *m_update;
    QPushButton *m_rollback;
    QLabel *m_updateNote;

    Card *m_progressCard;
    QProgressBar *m_bar;
    QLabel *m_progressText;
    QPushButton *m_cancel;

    Card *m_notesCard;
    QTextBrowser *m_notes;
    QPushButton *m_skip;
    QLabel *m_fallbackNote;
    QCheckBox *m_autoBackup;
    QPushButton *m_offerAgain;
    QLabel *m_installTo;
    QWidget *m_loadingRelease;
};
