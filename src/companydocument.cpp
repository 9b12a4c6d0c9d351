#include "companydocument.h"

#include "utils/gcore.h"

CompanyDocument::CompanyDocument(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setCompanyDocument(this);
}

void CompanyDocument::placeOverlays() {}

void CompanyDocument::reloadList() {}
