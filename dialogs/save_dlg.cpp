#include "dialogs/save_dlg.h"

#include <utility>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_buttons.h"
#include "dialogs/ui_text.h"

namespace tessvale {

CSave::CSave(QString proposedName, QWidget* parent) : QDialog(parent), m_name(std::move(proposedName))
{
    setObjectName(QStringLiteral("saveDialog"));
    setWindowTitle(QUiText("Save"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QUiText("Name:"), this);
    m_nameEdit = new QLineEdit(m_name, this);
    m_nameEdit->setObjectName(QStringLiteral("nameLineEdit"));
    m_nameEdit->setMinimumWidth(260);
    label->setBuddy(m_nameEdit);
    row->addWidget(label);
    row->addWidget(m_nameEdit, 1);
    layout->addLayout(row);
    QDialogButtonBox* buttons = MakeOkCancelButtons(this);
    layout->addWidget(buttons);
    m_nameEdit->selectAll();
}

void CSave::accept()
{
    m_name = m_nameEdit->text();
    if (m_name.isEmpty()) {
        return; // an empty name keeps the dialog open
    }
    QDialog::accept();
}

void CSave::reject()
{
    m_name.clear();
    QDialog::reject();
}

} // namespace tessvale
