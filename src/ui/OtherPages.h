#pragma once

#include <QMap>
#include <QStringList>

#include <QWidget>

class AppModel;
class Card;
class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The supported systems, as the installed OpenEmu has them (the project's table before it is
// installed), and the cores installed on this Mac.
class SystemsPage : public QWidget
{
    Q_OBJECT

public:
    explicit SystemsPage(AppModel &model, QWidget *parent = nullptr);

private:
    void syncCores();
    void syncSystems();

    AppModel &m_model;
    QVBoxLayout *m_cores;
    QLabel *m_source = nullptr;
    Card *m_systems = nullptr;
};

// Backing up OpenEmu's data to a zip, and restoring one.
class BackupPage : public QWidget
{
    Q_OBJECT

public:
    explicit BackupPage(AppModel &model, QWidget *parent = nullptr);

private:
    void sync();

    AppModel &m_model;
    QVBoxLayout *m_items;
    QStringList m_shownIds; // the items the rows were built for
    QMap<QString, QCheckBox *> m_toggles; // by item id; updated in place so focus stays
    QLabel *m_total;
    QLabel *m_folder;
    QPushButton *m_change;
    QPushButton *m_refreshSizes;
    QPushButton *m_backup;
    QPushButton *m_restore;
    QVBoxLayout *m_earlier; // the backups already in the folder
    QStringList m_shownEarlier;
};

// Where OpenEmu keeps things and how much room they take; uninstalling.
class TidyPage : public QWidget
{
    Q_OBJECT

public:
    explicit TidyPage(AppModel &model, QWidget *parent = nullptr);

private:
    void sync();

    AppModel &m_model;
    QVBoxLayout *m_rows;
    QPushButton *m_refresh;
    QPushButton *m_uninstall;
};

// What Vantor is, and whose work it builds on.
class AboutPage : public QWidget
{
    Q_OBJECT

public:
    explicit AboutPage(AppModel &model, QWidget *parent = nullptr);
};
