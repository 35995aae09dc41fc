// The Favorites dialog: stored results (a name and an IP range) edited in a working copy
// and written to the configuration document on OK.
#pragma once

#include <functional>

#include <QDialog>
#include <QMessageBox>

#include "store/favorites_list.h"

class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QTreeWidget;

namespace tessvale {

class ConfigStore;
class AddressEdit;

struct FavoritesDialogServices
{
    // Asks a Yes/No question; true for Yes.
    std::function<bool(QWidget*, const QString&)> ask;
    // Shows a message.
    std::function<void(QWidget*, const QString&)> showMessage;
    // The stored results changed: the main window rebuilds its result chooser.
    std::function<void()> rangesChanged;
    // Translates the dialog's texts once it is built.
    std::function<void(QWidget*)> translateWindow;
};

class CFavoritesManage : public QDialog
{
    Q_OBJECT
public:
    CFavoritesManage(ConfigStore& store, FavoritesDialogServices services, QWidget* parent = nullptr);

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidget* MakeListView();
    // The name and the two addresses of a row.
    QGridLayout* MakeFields();
    // Clear, Select all, Add, Modify and Delete.
    QHBoxLayout* MakeActions();
    // The message goes through the services, else into a message box with the icon.
    void Tell(const QString& text, QMessageBox::Icon icon);
    void Refill();
    void OnSelectionChanged();
    void OnClear();
    void OnSelectAll();
    // The typed range can be stored; otherwise says why.
    bool RangeAcceptable();
    void OnAdd();
    void OnModify();
    void OnDelete();
    void SetNameExistsNotice(bool shown);

    ConfigStore& m_store;
    FavoritesDialogServices m_services;
    FavoritesList m_list;
    bool m_nameExists = false;

    QTreeWidget* m_listView;
    QLineEdit* m_nameEdit;
    AddressEdit* m_fromEdit;
    AddressEdit* m_toEdit;
};

} // namespace tessvale
