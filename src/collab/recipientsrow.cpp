#include "collab/recipientsrow.h"

#include "collab/selectuser.h"
#include "widgets/dialogstyle.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

RecipientsRow::RecipientsRow(QWidget *parent, int spacing, int mode) : QWidget(parent), mode(mode)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    field = new QLineEdit(this);
    field->setReadOnly(true);
    field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(field);
    chooseButton = DialogStyle::makeButton(QStringLiteral("选择"), this);
    chooseButton->setFixedSize(50, 22);
    layout->addWidget(chooseButton);
}

bool RecipientsRow::choose(QWidget *dialog)
{
    return SelectUser::chooseInto(dialog, mode, field, m_ids);
}
