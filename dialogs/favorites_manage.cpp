#include "dialogs/favorites_manage.h"

#include <array>

#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialogs/address_edit.h"
#include "dialogs/dialog_buttons.h"
#include "dialogs/ui_text.h"
#include "scan/typed_range.h"
#include "store/save_failure.h"

namespace tessvale {
CFavoritesManage::CFavoritesManage(ConfigStore& store, FavoritesDialogServices services, QWidget* parent)
    : QDialog(parent), m_store(store), m_services(std::move(services))
{
    setObjectName(QStringLiteral("favoritesDialog"));
    setWindowTitle(QStringLiteral("Favorites Management"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeListView());
    layout->addLayout(MakeFields());
    layout->addLayout(MakeActions());
    layout->addWidget(MakeOkCancelButtons(this));

    m_list.Load(m_store);
    Refill();
    OnClear();
    if (m_services.translateWindow) {
        m_services.translateWindow(this);
    }
}

QTreeWidget* CFavoritesManage::MakeListView()
{
    m_listView = new QTreeWidget(this);
    m_listView->setObjectName(QStringLiteral("favoritesTreeWidget"));
    m_listView->setRootIsDecorated(false);
    m_listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList headers;
    for (const std::string& header : SplitBarList(UiString(IDS_FAVORITES_HEADERS))) {
        headers << ToQString(header);
        if (headers.size() == 2) {
            break;
        }
    }
    m_listView->setHeaderLabels(headers);
    m_listView->header()->resizeSection(0, 200);
    m_listView->header()->resizeSection(1, 200);
    m_listView->setMinimumWidth(420);
    connect(m_listView, &QTreeWidget::itemSelectionChanged, this, &CFavoritesManage::OnSelectionChanged);
    return m_listView;
}

QGridLayout* CFavoritesManage::MakeFields()
{
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("nameLineEdit"));
    m_nameEdit->installEventFilter(this);
    m_fromEdit = new AddressEdit(this);
    m_fromEdit->setObjectName(QStringLiteral("fromAddressEdit"));
    m_toEdit = new AddressEdit(this);
    m_toEdit->setObjectName(QStringLiteral("toAddressEdit"));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Name:"), this), 0, 0);
    fields->addWidget(m_nameEdit, 0, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("From IP:"), this), 1, 0);
    fields->addWidget(m_fromEdit, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("To IP:"), this), 2, 0);
    fields->addWidget(m_toEdit, 2, 1);
    // The address entries keep their natural width; the space right of them stays free.
    fields->setColumnStretch(2, 1);
    return fields;
}

QHBoxLayout* CFavoritesManage::MakeActions()
{
    struct Action
    {
        const char* text;
        const char* objectName;
        void (CFavoritesManage::*handler)();
    };
    static constexpr std::array<Action, 5> kActions = {{
        {"Clear", "clearButton", &CFavoritesManage::OnClear},
        {"Select all", "selectAllButton", &CFavoritesManage::OnSelectAll},
        {"Add", "addButton", &CFavoritesManage::OnAdd},
        {"Modify", "modifyButton", &CFavoritesManage::OnModify},
        {"Delete", "deleteButton", &CFavoritesManage::OnDelete},
    }};
    auto* actions = new QHBoxLayout;
    for (const Action& action : kActions) {
        auto* button = new QPushButton(QString::fromLatin1(action.text), this);
        button->setObjectName(QString::fromLatin1(action.objectName));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, action.handler);
        actions->addWidget(button);
    }
    return actions;
}

void CFavoritesManage::Tell(const QString& text, QMessageBox::Icon icon)
{
    if (m_services.showMessage) {
        m_services.showMessage(this, text);
        return;
    }
    QMessageBox box(icon, QStringLiteral("Tessvale"), text, QMessageBox::Ok, this);
    box.exec();
}

void CFavoritesManage::Refill()
{
    const QSignalBlocker blocker(m_listView);
    m_listView->clear();
    for (const FavoriteRow& row : m_list.Rows()) {
        auto* item = new QTreeWidgetItem(m_listView);
        item->setText(0, ToQString(row.name));
        item->setText(1, ToQString(row.range));
        item->setData(0, Qt::UserRole, row.id);
    }
}

void CFavoritesManage::OnSelectionChanged()
{
    const QList<QTreeWidgetItem*> selected = m_listView->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    // The first selected row from the top.
    QTreeWidgetItem* first = selected.front();
    for (QTreeWidgetItem* item : selected) {
        if (m_listView->indexOfTopLevelItem(item) < m_listView->indexOfTopLevelItem(first)) {
            first = item;
        }
    }
    std::string from;
    std::string to;
    FavoritesList::SplitRange(ToStdString(first->text(1)), from, to);
    m_fromEdit->SetText(ToQString(from));
    m_toEdit->SetText(ToQString(to));
    SetNameExistsNotice(false);
    m_nameEdit->setText(first->text(0));
}

void CFavoritesManage::OnClear()
{
    m_nameEdit->clear();
    m_fromEdit->Clear();
    m_toEdit->Clear();
}

void CFavoritesManage::OnSelectAll()
{
    m_listView->selectAll();
    m_listView->setFocus();
    OnClear();
}

bool CFavoritesManage::RangeAcceptable()
{
    if (m_fromEdit->IsBlank() && m_toEdit->IsBlank()) {
        return true; // nothing entered: Add and Modify do nothing, as without a name
    }
    const RangeEntry first = m_fromEdit->Entry();
    const RangeEntry last = m_toEdit->Entry();
    const RangeProblem problem = CheckRange(first, last, kMaxRangeAddresses);
    if (problem == RangeProblem::None) {
        return true;
    }
    const QString text = RangeProblemMessage(problem, RangeSize(first.address, last.address), kMaxRangeAddresses);
    Tell(text, QMessageBox::Information);
    (problem == RangeProblem::LastIncomplete ? m_toEdit : m_fromEdit)->setFocus();
    return false;
}

void CFavoritesManage::OnAdd()
{
    if (!RangeAcceptable()) {
        return;
    }
    const std::string name = ToStdString(m_nameEdit->text());
    switch (m_list.Add(name, ToStdString(m_fromEdit->Text()), ToStdString(m_toEdit->Text()))) {
    case FavoritesList::AddResult::Incomplete:
        return;
    case FavoritesList::AddResult::Duplicate:
        OnClear();
        m_nameEdit->setText(QUiString(IDS_NAME_EXISTS));
        SetNameExistsNotice(true);
        return;
    case FavoritesList::AddResult::Added:
        Refill();
        return;
    }
}

void CFavoritesManage::OnModify()
{
    const QList<QTreeWidgetItem*> selected = m_listView->selectedItems();
    if (selected.isEmpty() || !RangeAcceptable()) {
        return;
    }
    int index = m_listView->topLevelItemCount();
    for (QTreeWidgetItem* item : selected) {
        index = std::min(index, m_listView->indexOfTopLevelItem(item));
    }
    if (!m_list.Modify(static_cast<std::size_t>(index), ToStdString(m_nameEdit->text()),
                       ToStdString(m_fromEdit->Text()), ToStdString(m_toEdit->Text()))) {
        return;
    }
    const FavoriteRow& row = m_list.Rows()[static_cast<std::size_t>(index)];
    QTreeWidgetItem* item = m_listView->topLevelItem(index);
    const QSignalBlocker blocker(m_listView);
    item->setText(0, ToQString(row.name));
    item->setText(1, ToQString(row.range));
}

void CFavoritesManage::OnDelete()
{
    const QList<QTreeWidgetItem*> selected = m_listView->selectedItems();
    if (selected.isEmpty()) {
        Tell(QUiString(IDS_NO_DATA_SELECTED), QMessageBox::Information);
        return;
    }
    const QString question =
        selected.size() == 1
            ? QUiText("Delete the favorite \"%1\" and the hosts stored with it?").arg(selected.front()->text(0))
            : QUiText("Delete the %1 selected favorites and the hosts stored with them?").arg(selected.size());
    const bool yes = m_services.ask
                         ? m_services.ask(this, question)
                         : QMessageBox::question(this, QStringLiteral("Tessvale"), question) == QMessageBox::Yes;
    if (!yes) {
        return;
    }
    std::vector<std::size_t> indexes;
    for (QTreeWidgetItem* item : selected) {
        indexes.push_back(static_cast<std::size_t>(m_listView->indexOfTopLevelItem(item)));
    }
    m_list.Remove(indexes);
    Refill();
    OnClear();
}

void CFavoritesManage::SetNameExistsNotice(bool shown)
{
    m_nameExists = shown;
    m_nameEdit->setStyleSheet(shown ? QStringLiteral("color: rgb(109, 109, 109)") : QString());
}

bool CFavoritesManage::eventFilter(QObject* watched, QEvent* event)
{
    // Entering the name box removes the "name exists" notice.
    if (watched == m_nameEdit && event->type() == QEvent::FocusIn && m_nameExists) {
        SetNameExistsNotice(false);
        if (m_nameEdit->text() == QUiString(IDS_NAME_EXISTS)) {
            m_nameEdit->clear();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CFavoritesManage::accept()
{
    const FileError error = m_list.Commit(m_store);
    if (m_services.rangesChanged) {
        m_services.rangesChanged();
    }
    if (error) {
        // The dialog stays open with the user's rows: OK tries again, Cancel leaves
        // them in memory only.
        const QString text = ToQString(SaveFailureText("The favorites could not be saved.", error));
        Tell(text, QMessageBox::Warning);
        return;
    }
    QDialog::accept();
}

} // namespace tessvale
