#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary home, system Applications folder and configuration folders for one test
// program. The home folder is read once per process, so there is one TestHome per process:
// take it with shared() before anything reads HOME (in the test object's constructor), and
// reset() it between tests.
class TestHome
{
public:
    static TestHome &shared();

    QString home() const;
    QString systemApplications() const;
    QString userApplications() const;
    QString path(const QString &relative) const; // below the home folder
    QString temporary() const; // TMPDIR

    // Removes everything written below the root and recreates the empty folders; the bundle
    // identifier, Vantor's settings and the host (a current Mac with Apple silicon) start afresh.
    void reset();

private:
    TestHome();

    QTemporaryDir m_root;
};
