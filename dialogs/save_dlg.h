// The "Save" dialog: asks the name under which a new scan result is stored.
#pragma once

#include <QDialog>

class QLineEdit;

namespace tessvale {

class CSave : public QDialog
{
    Q_OBJECT

public:
    // proposedName: "first-last" of the scanned range.
    explicit CSave(QString proposedName, QWidget* parent = nullptr);

    // The name entered; empty after Cancel.
    QString GetName() const { return m_name; }

    void accept() override;
    void reject() override;

private:
    QLineEdit* m_nameEdit = nullptr;
    QString m_name;
};

} // namespace tessvale
