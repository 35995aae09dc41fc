// An IPv4 address entry: four octet fields in one frame, which may be left blank.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QFrame>

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int FieldIndex(QObject* field) const;

    std::array<QLineEdit*, 4> m_fields{};
};

} // namespace tessvale
