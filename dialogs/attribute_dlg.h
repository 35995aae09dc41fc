// The "Properties" window of one host of the result list: nine read-only texts, the
// host's names by source and its services, and the user's comment on the host, kept by
// its MAC.
#pragma once

#include <array>
#include <functional>
#include <string>

#include <QDialog>

#include "scan/host_record.h"

class QDialogButtonBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

namespace tessvale {

class ConfigStore;

class CAttribute : public QDialog
{
    Q_OBJECT

public:
    // Without a store the comment is shown empty and cannot be edited.
    explicit CAttribute(QWidget* parent = nullptr, ConfigStore* notes = nullptr);

    // Shows the nine texts of the record and the note of its MAC. The comment can be
    // edited when there is a store and the MAC is a real one.
    void Fill(const HostRecord& record);
    // The MAC the host had before it changed, shown under the MAC; empty hides the row.
    void SetPreviousMac(const QString& mac);

    // The boxes in the order IP, MAC, host name, CPU, RAM, shares, system version,
    // network-card type, network-card vendor.
    static constexpr int kBoxCount = 9;
    const std::array<QLineEdit*, kBoxCount>& Boxes() const { return m_boxes; }
    QLineEdit* CommentBox() const { return m_comment; }
    // Every name the scan learned with its source, and the DNS-SD services in words.
    QLineEdit* NamesBox() const { return m_names; }
    QLineEdit* ServicesBox() const { return m_services; }

    // Shows a message; tests replace the message box.
    std::function<void(QWidget*, const QString&)> showMessage;

private:
    // A read-only entry on the window's colour.
    QLineEdit* ReadOnlyBox(const char* objectName);
    // The nine texts of the record, and the previous MAC under the MAC.
    void AddRecordRows(QFormLayout* form);
    // The names by source, the services and the comment.
    void AddNoteRows(QFormLayout* form);
    // Save (the comment) and Close.
    QDialogButtonBox* MakeButtons();
    void SaveComment();
    void CommentEdited();

    ConfigStore* m_notes;
    std::string m_mac;
    QString m_savedComment;
    std::array<QLineEdit*, kBoxCount> m_boxes{};
    QLineEdit* m_names = nullptr;
    QLineEdit* m_services = nullptr;
    QLineEdit* m_comment = nullptr;
    QLineEdit* m_previousMac = nullptr;
    QWidget* m_previousMacLabel = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace tessvale
