#include "companydocument.h"

#include "utils/gcore.h"

#include <QLabel>

CompanyDocument::CompanyDocument(QWidget *parent) : QWidget(parent)
{
    treeLoading = new QLabel(this);
    treeLoading->hide();
    treeErrorLabel = new QLabel(QStringLiteral("数据加载出错，<a href='#'>请重试</a>"), this);
    treeErrorLabel->hide();
    GCore::instance()->setCompanyDocument(this);
}

CompanyDocument::~CompanyDocument()
{
    if (GCore::instance()->companyDocument() == this)
        GCore::instance()->setCompanyDocument(nullptr);
}

void CompanyDocument::showTreeLoading(bool show)
{
    treeLoading->setVisible(show);
}

void CompanyDocument::placeOverlays() {}

void CompanyDocument::reloadList() {}
