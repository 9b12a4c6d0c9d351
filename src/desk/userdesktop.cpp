#include "desk/userdesktop.h"

#include "core/gcore.h"

UserDesktop::UserDesktop(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setUserDesktop(this);
}

void UserDesktop::placeErrorLabels() {}
