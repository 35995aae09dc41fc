#include "dialogs/attribute_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "dialogs/ui_text.h"
#include "store/config_store.h"
#include "store/save_failure.h"

namespace tessvale {

namespace {

// The names by source: "NetBIOS: ALPHA, mDNS: alpha.local, DNS: alpha.example".
QString NamesText(const HostNames& names)
{
    QStringList parts;
    if (!names.netbios.empty()) {
        parts << QLatin1String("NetBIOS: ") + ToQString(names.netbios); // the names of the sources stay as they are
    }
    if (!names.mdns.empty()) {
        parts << QLatin1String("mDNS: ") + ToQString(names.mdns);
    }
    if (!names.dns.empty()) {
        parts << QLatin1String("DNS: ") + ToQString(names.dns);
    }
    return parts.join(QStringLiteral(", "));
}

// A well-known service type in the user's words, else the type itself.
QString ServiceText(const std::string& type)
{
    const std::string word = ServiceWord(type);
    if (word == "printer") {
        return QUiText("printer");
    }
    if (word == "file server") {
        return QUiText("file server");
    }
    if (word == "web") {
        return QUiText("web");
    }
    if (word == "remote desktop") {
        return QUiText("remote desktop");
    }
    if (word == "media") {
        return QUiText("media");
    }
    return ToQString(word); // ssh, and the types without a word
}

QString ServicesText(const std::vector<std::string>& types)
{
    QStringList words;
    for (const std::string& type : types) {
        const QString word = ServiceText(type);
        if (!words.contains(word)) {
            words << word;
        }
    }
    return words.join(QStringLiteral(", "));
}

} // namespace

CAttribute::CAttribute(QWidget* parent, ConfigStore* notes) : QDialog(parent), m_notes(notes)
{
    setObjectName(QStringLiteral("propertiesDialog"));
    setWindowTitle(QUiText("Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    AddRecordRows(form);
    AddNoteRows(form);
    layout->addLayout(form);
    layout->addWidget(MakeButtons());
    connect(m_comment, &QLineEdit::textEdited, this, &CAttribute::CommentEdited);
}

QLineEdit* CAttribute::ReadOnlyBox(const char* objectName)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setReadOnly(true);
    // Read-only texts on the window's colour: they do not look editable.
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    box->setPalette(palette);
    return box;
}

void CAttribute::AddRecordRows(QFormLayout* form)
{
    static constexpr std::array<const char*, kBoxCount> kLabels = {
        "IP:",         "MAC:",       "Host Name:",    "CPU:",           "RAM size/MB:",
        "Share File:", "SystemVer:", "NetCard Type:", "NetCard Vendor:"};
    static constexpr std::array<const char*, kBoxCount> kNames = {
        "ipLineEdit",        "macLineEdit",       "hostNameLineEdit",    "cpuLineEdit",          "ramLineEdit",
        "shareFileLineEdit", "systemVerLineEdit", "netCardTypeLineEdit", "netCardVendorLineEdit"};
    for (int i = 0; i < kBoxCount; ++i) {
        QLineEdit* box = ReadOnlyBox(kNames[i]);
        box->setMinimumWidth(300);
        m_boxes[i] = box;
        form->addRow(QUiText(kLabels[i]), box);
        if (i == 1) {
            // Under the MAC, shown only when the host had another one before.
            m_previousMac = ReadOnlyBox("previousMacLineEdit");
            auto* label = new QLabel(QUiText("Previous MAC:"), this);
            form->addRow(label, m_previousMac);
            m_previousMacLabel = label;
            label->hide();
            m_previousMac->hide();
        }
    }
}

void CAttribute::AddNoteRows(QFormLayout* form)
{
    m_names = ReadOnlyBox("nameSourcesLineEdit");
    form->addRow(QUiText("Names:"), m_names);
    m_services = ReadOnlyBox("servicesLineEdit");
    form->addRow(QUiText("Services:"), m_services);
    m_comment = new QLineEdit(this);
    m_comment->setObjectName(QStringLiteral("commentLineEdit"));
    m_comment->setMaxLength(static_cast<int>(ConfigStore::kMaxNoteChars));
    m_comment->setEnabled(false);
    form->addRow(QUiText("Comment:"), m_comment);
}

QDialogButtonBox* CAttribute::MakeButtons()
{
    auto* buttons = new QDialogButtonBox(this);
    m_save = buttons->addButton(QUiText("Save"), QDialogButtonBox::AcceptRole);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_save->setEnabled(false);
    m_close = buttons->addButton(QUiText("Close"), QDialogButtonBox::RejectRole);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &CAttribute::SaveComment);
    return buttons;
}

void CAttribute::SetPreviousMac(const QString& mac)
{
    m_previousMac->setText(mac);
    m_previousMac->setVisible(!mac.isEmpty());
    m_previousMacLabel->setVisible(!mac.isEmpty());
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
    m_names->setText(NamesText(record.names));
    m_names->setCursorPosition(0);
    m_services->setText(ServicesText(record.names.services));
    m_services->setCursorPosition(0);
    m_mac = record.mac;
    const bool editable = m_notes != nullptr && ConfigStore::NoteKeyValid(m_mac);
    m_savedComment = editable ? ToQString(m_notes->NoteOf(m_mac)) : QString();
    m_comment->setText(m_savedComment);
    m_comment->setCursorPosition(0);
    m_comment->setEnabled(editable);
    m_save->setEnabled(false);
    m_save->setDefault(false);
    m_close->setDefault(true);
}

void CAttribute::CommentEdited()
{
    const bool changed = m_comment->text().trimmed() != m_savedComment;
    // Enter saves an edited comment and closes an unchanged one.
    m_save->setEnabled(changed);
    m_save->setDefault(changed);
    m_close->setDefault(!changed);
}

void CAttribute::SaveComment()
{
    if (m_notes == nullptr || !ConfigStore::NoteKeyValid(m_mac)) {
        return;
    }
    if (!m_notes->SaveNote(m_mac, ToStdString(m_comment->text()))) {
        // The dialog stays open with what the user typed; the note is kept in memory and
        // reaches the file with the next save that succeeds.
        const QString text = ToQString(SaveFailureText("The comment could not be saved.", m_notes->LastSaveError()));
        if (showMessage) {
            showMessage(this, text);
        } else {
            QMessageBox::information(this, QStringLiteral("Tessvale"), text);
        }
        return;
    }
    m_savedComment = ToQString(m_notes->NoteOf(m_mac));
    accept();
}

} // namespace tessvale
