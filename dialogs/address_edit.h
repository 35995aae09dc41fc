// An IPv4 address entry: four octet fields in one frame, which may be left blank. A
// dotted address pasted into any field fills all four; a subnet ("198.18.0.0/24") or a
// range ("198.18.40.1-198.18.40.50", "198.18.40.1-50") pasted, or typed after the
// fourth octet, is offered as a range. Ctrl+A selects the whole address, which what is
// typed next replaces. An address with empty octets is shown as incomplete.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QFrame>

#include "scan/typed_range.h"

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
    // Blank, incomplete (some octets empty) or complete.
    AddressFill Fill() const;
    // The fill and the address, as the range check takes them.
    RangeEntry Entry() const { return {Fill(), Address().value_or(0)}; }

    void SetAddress(std::uint32_t address);
    // Takes a dotted quad; anything else clears the entry.
    void SetText(const QString& text);
    void Clear();
    // The tooltip shown while the address is complete.
    void SetHint(const QString& text);

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
    // The fourth field holds "octet/prefix" or "octet-last": the range is taken, or
    // what follows the octet dropped.
    bool FinishTypedPrefix();
    bool HandleKey(int index, const QKeyEvent& key);
    // The keys that move between the octets: a dot or blank, Backspace, the arrows.
    bool HandleMoveKey(int index, const QKeyEvent& key);
    // A key while the whole address is selected: typing starts a new address.
    bool HandleKeyOverWhole(const QKeyEvent& key);
    void MoveTo(int index, bool selectAll);
    // Marks an incomplete address (tinted, with a tooltip).
    void ShowFill();

    std::array<QLineEdit*, 4> m_fields{};
    std::array<QString, 4> m_accepted; // each field's last valid text
    int m_advancedTo = -1;             // the field the third digit moved on to; a '.' there is the same step
    bool m_wholeSelected = false;      // Ctrl+A selected all four fields
    QString m_tooltip;                 // the tooltip the owner gave
};

// The message that tells why a range cannot be scanned or stored; empty for none.
QString RangeProblemMessage(RangeProblem problem, std::uint64_t size, std::uint64_t maxAddresses);

} // namespace tessvale
