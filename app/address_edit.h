// An IPv4 address entry: four octet fields in one frame, which may be left blank. A
// dotted address pasted into any field fills all four; a subnet ("198.18.0.0/24")
// pasted, or typed with its "/prefix" after the fourth octet, is offered as a range.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QFrame>

class QKeyEvent;
class QLineEdit;

namespace tessvale {

class AddressEdit : public QFrame
{
    Q_OBJECT

public:
    explicit AddressEdit(QWidget* parent = nullptr);

    // True when all four fields are empty.
    bool IsBlank() const;
    // The address in host order; empty fields count 0. nullopt when blank.
    std::optional<std::uint32_t> Address() const;
    // "a.b.c.d", or empty when blank.
    QString Text() const;

    void SetAddress(std::uint32_t address);
    // Takes a dotted quad; anything else clears the entry.
    void SetText(const QString& text);
    void Clear();

signals:
    void AddressChanged();
    // A subnet was entered: first and last host address, host order.
    void RangeEntered(std::uint32_t first, std::uint32_t last);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int FieldIndex(QObject* field) const;
    void FieldEdited(int index, const QString& text);
    // A whole address or subnet text: true when it was taken.
    bool TakeWholeText(const QString& text);
    // The fourth field holds "octet/prefix": the subnet is taken, or the prefix dropped.
    bool FinishTypedPrefix();
    bool HandleKey(int index, const QKeyEvent& key);

    std::array<QLineEdit*, 4> m_fields{};
    std::array<QString, 4> m_accepted; // each field's last valid text
};

} // namespace tessvale
