#include "app/address_edit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "app/logic/result_list.h"
#include "app/qt_text.h"
#include "scan/address_forms.h"

namespace tessvale {

AddressEdit::AddressEdit(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 1, 3, 1);
    layout->setSpacing(0);
    const int fieldWidth = fontMetrics().horizontalAdvance(QStringLiteral("000")) + 8;
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("octet%1LineEdit").arg(i + 1));
        field->setFrame(false);
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(new QIntValidator(0, 255, field));
        field->setFixedWidth(fieldWidth);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i < 3) {
                m_fields[i + 1]->setFocus();
                m_fields[i + 1]->selectAll();
            }
            emit AddressChanged();
        });
        m_fields[i] = field;
        layout->addWidget(field);
        if (i < 3) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
    }
    setFocusProxy(m_fields[0]);
}

bool AddressEdit::IsBlank() const
{
    for (const QLineEdit* field : m_fields) {
        if (!field->text().isEmpty()) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> AddressEdit::Address() const
{
    if (IsBlank()) {
        return std::nullopt;
    }
    std::uint32_t address = 0;
    for (const QLineEdit* field : m_fields) {
        const unsigned value = std::min(field->text().toUInt(), 255u);
        address = (address << 8) | value;
    }
    return address;
}

QString AddressEdit::Text() const
{
    const auto address = Address();
    return address ? ToQString(FormatIpv4(*address)) : QString();
}

void AddressEdit::SetAddress(std::uint32_t address)
{
    for (int i = 0; i < 4; ++i) {
        m_fields[i]->setText(QString::number((address >> (8 * (3 - i))) & 0xFF));
    }
    emit AddressChanged();
}

void AddressEdit::SetText(const QString& text)
{
    const auto address = ParseDottedQuad(ToStdString(text.trimmed()));
    if (address) {
        SetAddress(*address);
    } else {
        Clear();
    }
}

void AddressEdit::Clear()
{
    for (QLineEdit* field : m_fields) {
        field->clear();
    }
    emit AddressChanged();
}

int AddressEdit::FieldIndex(QObject* field) const
{
    for (int i = 0; i < 4; ++i) {
        if (m_fields[i] == field) {
            return i;
        }
    }
    return -1;
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    const int index = FieldIndex(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QLineEdit* field = m_fields[index];
        // '.' or blank moves on to the next octet; Backspace in an empty octet goes back.
        if ((key->key() == Qt::Key_Period || key->key() == Qt::Key_Space) && index < 3) {
            if (!field->text().isEmpty()) {
                m_fields[index + 1]->setFocus();
                m_fields[index + 1]->selectAll();
            }
            return true;
        }
        if (key->key() == Qt::Key_Backspace && field->text().isEmpty() && index > 0) {
            m_fields[index - 1]->setFocus();
            m_fields[index - 1]->end(false);
            return true;
        }
        if (key->key() == Qt::Key_Right && field->cursorPosition() == field->text().size() && index < 3) {
            m_fields[index + 1]->setFocus();
            m_fields[index + 1]->setCursorPosition(0);
            return true;
        }
        if (key->key() == Qt::Key_Left && field->cursorPosition() == 0 && index > 0) {
            m_fields[index - 1]->setFocus();
            m_fields[index - 1]->end(false);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace tessvale
