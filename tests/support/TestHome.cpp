#include "TestHome.h"

#include <QDir>
#include <stdexcept>

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
    qputenv("XDG_CONFIG_HOME", m_root.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", m_root.filePath(QStringLiteral("data")).toUtf8());
    qputenv("TMPDIR", m_root.filePath(QStringLiteral("tmp")).toUtf8());
    qunsetenv("VANTOR_HOST");
    qunsetenv("VANTOR_FEED_URL");
    reset();
}

QString TestHome::home() const
{
    return m_root.filePath(QStringLiteral("home"));
}

QString TestHome::systemApplications() const
{
    return m_root.filePath(QStringLiteral("Applications"));
}

QString TestHome::userApplications() const
{
    return path(QStringLiteral("Applications"));
}

QString TestHome::temporary() const
{
    return m_root.filePath(QStringLiteral("tmp"));
}

QString TestHome::path(const QString &relative) const
{
    return QDir(home()).filePath(relative);
}

void TestHome::reset()
{
    for (const QString &name : {QStringLiteral("home"), QStringLiteral("Applications"), QStringLiteral("config"),
                                QStringLiteral("data"), QStringLiteral("tmp")}) {
        QDir folder(m_root.filePath(name));
        folder.removeRecursively();
        QDir().mkpath(folder.path());
    }
}
