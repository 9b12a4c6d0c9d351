#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Points HOME at a fresh temporary folder for the life of the object, so a test
// never touches a real user's settings, cache or history.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
