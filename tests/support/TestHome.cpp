#include "TestHome.h"

#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <stdexcept>

using namespace Qt::StringLiterals;

TestHome &TestHome::shared()
{
    static TestHome home;
    return home;
}

TestHome::TestHome()
{
    if (!m_root.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    qputenv("HOME", home().toUtf8());
    qputenv("VANTOR_SYSTEM_APPLICATIONS", systemApplications().toUtf8());
    qputenv("XDG_CONFIG_HOME", m_root.filePath(u"config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", m_root.filePath(u"data"_s).toUtf8());
    qputenv("TMPDIR", m_root.filePath(u"tmp"_s).toUtf8());
    qunsetenv("VANTOR_FEED_URL");
    reset();
}

QString TestHome::home() const
{
    return m_root.filePath(u"home"_s);
}

QString TestHome::systemApplications() const
{
    return m_root.filePath(u"Applications"_s);
}

QString TestHome::userApplications() const
{
    return path(u"Applications"_s);
}

QString TestHome::temporary() const
{
    return m_root.filePath(u"tmp"_s);
}

QString TestHome::path(const QString &relative) const
{
    return QDir(home()).filePath(relative);
}

void TestHome::reset()
{
    for (const QString &name : {u"home"_s, u"Applications"_s, u"config"_s, u"data"_s, u"tmp"_s}) {
        QDir folder(m_root.filePath(name));
        folder.removeRecursively();
        QDir().mkpath(folder.path());
    }
    // Every test has a stand-in for the preferences tool: the real one ignores HOME and would
    // change the settings of whoever runs the tests. (Vantor stops a test that would run it.)
    const QString tool = m_root.filePath(u"tools/defaults"_s);
    QDir().mkpath(QFileInfo(tool).path());
    QFile script(tool);
    if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\nexit 0\n") < 0)
        throw std::runtime_error("cannot write the stand-in preferences tool");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("VANTOR_DEFAULTS_TOOL", tool.toUtf8());
    qputenv("VANTOR_TESTING", "1");
    // What one test changed of the process's state goes back to how a user's Mac starts.
    Paths::setBundleID(Paths::defaultBundleID);
    QSettings(u"Vantor"_s, u"Vantor"_s).clear();
    qputenv("VANTOR_HOST", "macos-14.5.0-arm64");
}
