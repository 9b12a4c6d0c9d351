#include "userdesktop.h"

#include "utils/gcore.h"

UserDesktop::UserDesktop(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setUserDesktop(this);
}

void UserDesktop::placeErrorLabels() {}
