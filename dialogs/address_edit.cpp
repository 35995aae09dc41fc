#include "dialogs/address_edit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include "dialogs/qt_text.h"
#include "dialogs/ui_text.h"
#include "scan/address_forms.h"

namespace tessvale {
namespace {
bool IsBlankText(const QString& text);
} // namespace

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
        field->setMaxLength(32); // room for a pasted subnet; FieldEdited keeps octets
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(fieldWidth);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) { FieldEdited(i, text); });
        m_fields[i] = field;
        layout->addWidget(field);
        if (i < 3) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
    }
    setFocusProxy(m_fields[0]);
    connect(this, &AddressEdit::AddressChanged, this, &AddressEdit::ShowFill);
}

AddressFill AddressEdit::Fill() const
{
    int filled = 0;
    for (const QLineEdit* field : m_fields) {
        filled += IsBlankText(field->text()) ? 0 : 1;
    }
    return filled == 0 ? AddressFill::Blank : filled == 4 ? AddressFill::Complete : AddressFill::Incomplete;
}

void AddressEdit::SetHint(const QString& text)
{
    m_tooltip = text;
    ShowFill();
}

void AddressEdit::ShowFill()
{
    const bool incomplete = Fill() == AddressFill::Incomplete;
    QPalette palette;
    if (incomplete) {
        palette.setColor(QPalette::Base, QColor(0xFF, 0xE4, 0xE1));
    }
    setPalette(palette);
    for (QLineEdit* field : m_fields) {
        field->setPalette(palette);
    }
    setToolTip(incomplete ? QUiText("Incomplete address: every octet needs a number.") : m_tooltip);
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
    for (std::size_t i = 0; i < 4; ++i) {
        m_accepted[i] = QString::number((address >> (8 * (3 - i))) & 0xFF);
        m_fields[i]->setText(m_accepted[i]);
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
    for (std::size_t i = 0; i < 4; ++i) {
        m_accepted[i].clear();
        m_fields[i]->clear();
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

namespace {

bool IsBlankText(const QString& text)
{
    return text.trimmed().isEmpty();
}

// An octet as typed: empty or one to three digits up to 255.
bool IsOctetText(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{0,3}$"));
    return digits.match(text).hasMatch() && text.toInt() <= 255;
}

// The fourth octet with a prefix being typed: "0/", "0/2", "0/24".
bool IsPrefixTyping(const QString& text)
{
    static const QRegularExpression prefix(QStringLiteral("^[0-9]{1,3}/[0-9]{0,2}$"));
    return prefix.match(text).hasMatch();
}

// The fourth octet with the end of a range being typed: "1-", "1-50", "1-198.18.40.50".
bool IsRangeTyping(const QString& text)
{
    static const QRegularExpression range(QStringLiteral("^[0-9]{1,3} ?- ?[0-9.]{0,15}$"));
    return range.match(text).hasMatch();
}

} // namespace

void AddressEdit::FieldEdited(int index, const QString& text)
{
    const auto slot = static_cast<std::size_t>(index);
    QLineEdit* field = m_fields[slot];
    if (IsOctetText(text)) {
        m_accepted[slot] = text;
        if (text.size() == 3 && index < 3) {
            MoveTo(index + 1, true);
            m_advancedTo = index + 1;
        }
        emit AddressChanged();
        return;
    }
    if (index == 3 && IsRangeTyping(text)) {
        m_accepted[slot] = text;
        return;
    }
    if (text.contains(QLatin1Char('.')) || text.contains(QLatin1Char('-'))) {
        // Pasted: the field's whole text, else the clipboard's text that went into it.
        const QString pasted = QGuiApplication::clipboard()->text().trimmed();
        if (TakeWholeText(text.trimmed()) || (!pasted.isEmpty() && text.contains(pasted) && TakeWholeText(pasted))) {
            return;
        }
    } else if (index == 3 && IsPrefixTyping(text)) {
        m_accepted[slot] = text;
        if (text.size() - text.indexOf(QLatin1Char('/')) == 3) {
            FinishTypedPrefix(); // two digits: no prefix is longer
        }
        return;
    }
    // Anything else is refused: the field keeps what it held.
    field->setText(m_accepted[slot]);
}

bool AddressEdit::TakeWholeText(const QString& text)
{
    const std::string whole = ToStdString(text);
    if (const auto range = ParseTypedRange(whole)) {
        emit RangeEntered(range->start, range->end);
        return true;
    }
    if (const auto address = ParseDottedQuad(whole)) {
        SetAddress(*address);
        return true;
    }
    return false;
}

bool AddressEdit::FinishTypedPrefix()
{
    QLineEdit* last = m_fields[3];
    static const QRegularExpression separator(QStringLiteral("[/ -]"));
    const qsizetype slash = last->text().indexOf(separator);
    if (slash < 0) {
        return false;
    }
    const QString whole = m_fields[0]->text() + QLatin1Char('.') + m_fields[1]->text() + QLatin1Char('.') +
                          m_fields[2]->text() + QLatin1Char('.') + last->text();
    if (TakeWholeText(whole)) {
        return true;
    }
    m_accepted[3] = last->text().left(slash);
    last->setText(m_accepted[3]);
    emit AddressChanged();
    return true;
}

void AddressEdit::MoveTo(int index, bool selectAll)
{
    QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    field->setFocus();
    if (selectAll) {
        field->selectAll();
    }
}

bool AddressEdit::HandleKeyOverWhole(const QKeyEvent& key)
{
    const QString text = key.text();
    const bool erases = key.key() == Qt::Key_Backspace || key.key() == Qt::Key_Delete;
    const bool typesDigit = text.size() == 1 && text[0].isDigit();
    if (!erases && !typesDigit) {
        return false;
    }
    m_wholeSelected = false;
    Clear();
    MoveTo(0, false);
    if (typesDigit) {
        m_fields[0]->setText(text);
        FieldEdited(0, text);
    }
    return true;
}

bool AddressEdit::HandleKey(int index, const QKeyEvent& key)
{
    const auto slot = static_cast<std::size_t>(index);
    QLineEdit* field = m_fields[slot];
    // A '.' right after the third digit moved on is the step already taken.
    const bool afterAdvance = m_advancedTo == index;
    if (key.key() != Qt::Key_Shift) {
        m_advancedTo = -1;
    }
    if (key.matches(QKeySequence::SelectAll)) {
        m_wholeSelected = true;
        for (QLineEdit* each : m_fields) {
            each->selectAll();
        }
        return true;
    }
    if (m_wholeSelected) {
        if (key.matches(QKeySequence::Paste) || HandleKeyOverWhole(key)) {
            m_wholeSelected = false;
            if (!key.matches(QKeySequence::Paste)) {
                return true;
            }
        } else if (key.key() != Qt::Key_Shift && key.key() != Qt::Key_Control) {
            m_wholeSelected = false;
        }
    }
    if ((key.key() == Qt::Key_Period || key.key() == Qt::Key_Space) && afterAdvance) {
        return true;
    }
    if (key.matches(QKeySequence::Paste)) {
        const QString pasted = QGuiApplication::clipboard()->text().trimmed();
        if (pasted.contains(QLatin1Char('.'))) {
            TakeWholeText(pasted); // a text that is neither form is not pasted
            return true;
        }
        return false;
    }
    const bool finishing = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Tab;
    if (finishing && index == 3 &&
        (field->text().contains(QLatin1Char('/')) || field->text().contains(QLatin1Char('-')))) {
        FinishTypedPrefix();
        return key.key() != Qt::Key_Tab; // Enter only ends the subnet; Tab moves on too
    }
    if ((key.key() == Qt::Key_Slash || key.key() == Qt::Key_Minus) && index < 3) {
        return true; // a prefix or a range's end follows the fourth octet only
    }
    return HandleMoveKey(index, key);
}

bool AddressEdit::HandleMoveKey(int index, const QKeyEvent& key)
{
    const auto slot = static_cast<std::size_t>(index);
    QLineEdit* field = m_fields[slot];
    // '.' or blank moves on to the next octet; Backspace in an empty octet goes back.
    if ((key.key() == Qt::Key_Period || key.key() == Qt::Key_Space) && index < 3) {
        if (!field->text().isEmpty()) {
            MoveTo(index + 1, true);
        }
        return true;
    }
    if (key.key() == Qt::Key_Backspace && field->text().isEmpty() && index > 0) {
        m_fields[slot - 1]->setFocus();
        m_fields[slot - 1]->end(false);
        return true;
    }
    if (key.key() == Qt::Key_Right && field->cursorPosition() == field->text().size() && index < 3) {
        m_fields[slot + 1]->setFocus();
        m_fields[slot + 1]->setCursorPosition(0);
        return true;
    }
    if (key.key() == Qt::Key_Left && field->cursorPosition() == 0 && index > 0) {
        m_fields[slot - 1]->setFocus();
        m_fields[slot - 1]->end(false);
        return true;
    }
    return false;
}

bool AddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    const int index = FieldIndex(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress && HandleKey(index, *static_cast<QKeyEvent*>(event))) {
        return true;
    }
    if (index >= 0 && event->type() == QEvent::MouseButtonPress) {
        m_wholeSelected = false;
        m_advancedTo = -1;
    }
    if (index == 3 && event->type() == QEvent::FocusOut) {
        FinishTypedPrefix();
    }
    return QFrame::eventFilter(watched, event);
}

QString RangeProblemMessage(RangeProblem problem, std::uint64_t size, std::uint64_t maxAddresses)
{
    switch (problem) {
    case RangeProblem::None:
        break;
    case RangeProblem::FirstIncomplete:
        return QUiText("The first address is incomplete: enter all four numbers.");
    case RangeProblem::LastIncomplete:
        return QUiText("The last address is incomplete: enter all four numbers.");
    case RangeProblem::EndBeforeStart:
        return QUiText("The last address is before the first: the range would be empty.");
    case RangeProblem::TooLarge:
        return QUiText("The range holds %1 addresses; at most %2 can be scanned at once.").arg(size).arg(maxAddresses);
    }
    return {};
}

} // namespace tessvale
