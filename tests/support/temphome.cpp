#include "temphome.h"

#include <QtGlobal>

TempHome::TempHome() : m_dir(QDir::tempPath() + QStringLiteral("/folvane-home-XXXXXX"))
{
    m_hadPrevious = qEnvironmentVariableIsSet("HOME");
    m_previous = qgetenv("HOME");
    qputenv("HOME", m_dir.path().toLocal8Bit());
}

TempHome::~TempHome()
{
    if (m_hadPrevious)
        qputenv("HOME", m_previous);
    else
        qunsetenv("HOME");
}
