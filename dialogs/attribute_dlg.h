// The "Properties" window of one host of the result list: nine read-only texts, the
// host's names by source and its services, and the user's comment on the host, kept by
// its MAC.
#pragma once

#include <array>
#include <functional>
#include <string>

#include <QDialog>

#include "scan/host_record.h"

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
    void SaveComment();
    void CommentEdited();

    ConfigStore* m_notes;
    std::string m_mac;
    QString m_savedComment;
    std::array<QLineEdit*, kBoxCount> m_boxes{};
    QLineEdit* m_names = nullptr;
    QLineEdit* m_services = nullptr;
    QLineEdit* m_comment = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace tessvale
