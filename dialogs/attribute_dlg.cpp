#include "dialogs/attribute_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui_text.h"

namespace tessvale {

CAttribute::CAttribute(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("propertiesDialog"));
    setWindowTitle(QUiText("Properties"));
    static constexpr std::array<const char*, kBoxCount> kLabels = {
        "IP:",         "MAC:",       "Host Name:",    "CPU:",           "RAM size/MB:",
        "Share File:", "SystemVer:", "NetCard Type:", "NetCard Vendor:"};
    static constexpr std::array<const char*, kBoxCount> kNames = {
        "ipLineEdit",        "macLineEdit",       "hostNameLineEdit",    "cpuLineEdit",          "ramLineEdit",
        "shareFileLineEdit", "systemVerLineEdit", "netCardTypeLineEdit", "netCardVendorLineEdit"};
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (int i = 0; i < kBoxCount; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(kNames[i]));
        box->setReadOnly(true);
        box->setMinimumWidth(300);
        m_boxes[i] = box;
        form->addRow(QUiText(kLabels[i]), box);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    auto* close = buttons->addButton(QUiText("Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CAttribute::Fill(const HostRecord& record)
{
    const std::array<const std::string*, kBoxCount> texts = {&record.ip,
                                                             &record.mac,
                                                             &record.hostName,
                                                             &record.inventory.cpu,
                                                             &record.inventory.memoryMb,
                                                             &record.inventory.shares,
                                                             &record.inventory.systemVersion,
                                                             &record.inventory.adapterSpeed,
                                                             &record.inventory.vendor};
    for (int i = 0; i < kBoxCount; ++i) {
        m_boxes[i]->setText(ToQString(*texts[i]));
        m_boxes[i]->setCursorPosition(0);
    }
}

} // namespace tessvale
