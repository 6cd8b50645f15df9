#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary home, system Applications folder and configuration folders for one test
// program. Construct it before anything reads HOME (the test object's constructor); reset()
// empties them between tests.
class TestHome
{
public:
    TestHome();

    QString home() const;
    QString systemApplications() const;
    QString userApplications() const;
    QString path(const QString &relative) const; // below the home folder

    // Removes everything written below the root and recreates the empty folders.
    void reset();

private:
    QTemporaryDir m_root;
};
