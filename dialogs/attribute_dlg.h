// The read-only "Properties" window of one host of the result list.
#pragma once

#include <array>

#include <QDialog>

#include "scan/host_record.h"

class QLineEdit;

namespace tessvale {

class CAttribute : public QDialog
{
    Q_OBJECT

public:
    explicit CAttribute(QWidget* parent = nullptr);

    // Shows the nine texts of the record.
    void Fill(const HostRecord& record);

    // The boxes in the order IP, MAC, host name, CPU, RAM, shares, system version,
    // network-card type, network-card vendor.
    static constexpr int kBoxCount = 9;
    const std::array<QLineEdit*, kBoxCount>& Boxes() const { return m_boxes; }

private:
    std::array<QLineEdit*, kBoxCount> m_boxes{};
};

} // namespace tessvale
