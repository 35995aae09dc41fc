#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "app/system_environment.h"
#include "app/tessvale_dlg.h"
#include "dialogs/address_edit.h"
#include "dialogs/favorites_manage.h"
#include "fakes/fake_scan_service.h"
#include "fakes/recording_prompts.h"
#include "fakes/temp_folder.h"
#include "fakes/widget_lookup.h"
#include "store/config_store.h"

using namespace tessvale;

using test::Child;

class FavoritesDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<test::TempFolder>();
        m_path = QString::fromStdString(m_dir->File("Tessvale.xml"));
        m_messages.clear();
        m_rangesChanged = 0;
        m_answerYes = true;
    }

    void addRejectsExactDuplicatesButNotOtherCase()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        dialog.show();
        Fill(dialog, "Office", "10.0.0.1", "10.0.0.50");
        Click(dialog, "addButton");
        Fill(dialog, "Office", "10.0.1.1", "10.0.1.50");
        Click(dialog, "addButton");
        auto* list = Child<QTreeWidget>(&dialog, "favoritesTreeWidget");
        QCOMPARE(list->topLevelItemCount(), 1);
        auto* name = Child<QLineEdit>(&dialog, "nameLineEdit");
        QCOMPARE(name->text(), QStringLiteral("This name already exists."));
        QVERIFY(Child<AddressEdit>(&dialog, "fromAddressEdit")->Text().isEmpty());
        QVERIFY(Child<AddressEdit>(&dialog, "toAddressEdit")->Text().isEmpty());
        // Entering the box removes the notice.
        name->setFocus();
        QApplication::processEvents();
        QTRY_VERIFY(name->text().isEmpty());

        Fill(dialog, "office", "10.0.1.1", "10.0.1.50");
        Click(dialog, "addButton");
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("10.0.1.1-10.0.1.50"));

        Click(dialog, "okButton");
        QCOMPARE(m_rangesChanged, 1);
        const std::vector<ConfigRecord> results = Stored(MakeResultRecord());
        QCOMPARE(results.size(), size_t(2));
        QCOMPARE(results[0].Value(kResultName), std::string("Office"));
        QCOMPARE(results[0].Value(kResultIpRange), std::string("10.0.0.1-10.0.0.50"));
        QCOMPARE(results[1].Value(kResultName), std::string("office"));
    }

    void typedRangesAreStoredAsTypedOrRefusedWithTheReason()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* from = Child<AddressEdit>(&dialog, "fromAddressEdit");
        auto* to = Child<AddressEdit>(&dialog, "toAddressEdit");
        auto* list = Child<QTreeWidget>(&dialog, "favoritesTreeWidget");
        const auto type = [](AddressEdit* entry, const char* text) {
            entry->Clear();
            entry->findChild<QLineEdit*>(QStringLiteral("octet1LineEdit"))->setFocus();
            for (const char* c = text; *c != 0; ++c) {
                QTest::keyClick(QApplication::focusWidget(), *c);
            }
        };
        Child<QLineEdit>(&dialog, "nameLineEdit")->setText(QStringLiteral("Lab"));
        struct Case
        {
            const char* from;
            const char* to;
            const char* message;
        };
        const std::vector<Case> refused = {
            {"198.18.40.50", "198.18.40.5", "The last address is before the first: the range would be empty."},
            {"198.18.40.", "198.18.40.9", "The first address is incomplete: enter all four numbers."},
            {"198.18.40.1", "", "The last address is incomplete: enter all four numbers."},
            {"10.0.0.0", "11.0.0.0", "The range holds 16777217 addresses; at most 16777216 can be scanned at once."},
        };
        for (const Case& c : refused) {
            type(from, c.from);
            type(to, c.to);
            Click(dialog, "addButton");
            QCOMPARE(list->topLevelItemCount(), 0);
            QCOMPARE(m_messages.last(), QString::fromLatin1(c.message));
        }
        // Typed over the selected field: the address as typed, not 198.18.18.40.
        from->SetText(QStringLiteral("198.18.40.1"));
        auto* firstOctet = from->findChild<QLineEdit*>(QStringLiteral("octet1LineEdit"));
        firstOctet->setFocus();
        QTest::keyClick(firstOctet, Qt::Key_A, Qt::ControlModifier);
        for (const char c : std::string("198.18.40.50")) {
            QTest::keyClick(QApplication::focusWidget(), c);
        }
        type(to, "198.18.40.99");
        Click(dialog, "addButton");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("198.18.40.50-198.18.40.99"));
        // Modify refuses the same way and keeps the row.
        list->topLevelItem(0)->setSelected(true);
        type(to, "198.18.40.7");
        const qsizetype before = m_messages.size();
        Click(dialog, "modifyButton");
        QCOMPARE(m_messages.size(), before + 1);
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("198.18.40.50-198.18.40.99"));
    }

    void modifyMayTakeAnotherEntrysName()
    {
        Seed({{"A", "10.0.0.1-10.0.0.9"}, {"B", "10.0.1.1-10.0.1.9"}});
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        dialog.show();
        auto* list = Child<QTreeWidget>(&dialog, "favoritesTreeWidget");
        list->topLevelItem(1)->setSelected(true);
        // Selecting loads the row into the fields.
        QCOMPARE(Child<QLineEdit>(&dialog, "nameLineEdit")->text(), QStringLiteral("B"));
        QCOMPARE(Child<AddressEdit>(&dialog, "fromAddressEdit")->Text(), QStringLiteral("10.0.1.1"));
        Fill(dialog, "A", "10.0.2.1", "10.0.2.9");
        Click(dialog, "modifyButton");
        Click(dialog, "okButton");

        const std::vector<ConfigRecord> results = Stored(MakeResultRecord());
        QCOMPARE(results.size(), size_t(2));
        QCOMPARE(results[1].id, 2u);
        QCOMPARE(results[1].Value(kResultName), std::string("A"));
        QCOMPARE(results[1].Value(kResultIpRange), std::string("10.0.2.1-10.0.2.9"));
    }

    void deleteWithoutSelectionSaysSo()
    {
        ConfigStore store;
        CFavoritesManage dialog(store, Services());
        Click(dialog, "deleteButton");
        QCOMPARE(m_messages, QStringList{QStringLiteral("No data selected!")});
    }

    void addThenDeleteStoresNothing()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        Fill(dialog, "Temp", "10.0.0.1", "10.0.0.2");
        Click(dialog, "addButton");
        Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItem(0)->setSelected(true);
        Click(dialog, "deleteButton");
        QCOMPARE(Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItemCount(), 0);
        Click(dialog, "okButton");
        const std::vector<ConfigRecord> results = Stored(MakeResultRecord());
        QVERIFY(results.empty());
    }

    void deletedFavoriteTakesItsHostsAtOkNotBefore()
    {
        Seed({{"Lab", "10.0.0.1-10.0.0.9"}, {"Keep", "10.0.1.1-10.0.1.9"}});
        {
            ConfigStore store;
            store.Load(m_path.toStdString());
            for (std::uint32_t resultId : {1u, 1u, 2u}) {
                ConfigRecord item = MakeItemRecord();
                item.SetValue(kItemResultId, std::to_string(resultId));
                item.SetValue(kItemIp, "10.0.0.5");
                store.AddRecord(item);
            }
            store.Save();
        }
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItem(0)->setSelected(true);
        const std::string before = test::ReadFile(m_path.toStdString());
        Click(dialog, "deleteButton");
        std::vector<ConfigRecord> items;
        store.ListRecords(MakeItemRecord(), items);
        QCOMPARE(items.size(), size_t(3)); // nothing removed before OK
        QCOMPARE(test::ReadFile(m_path.toStdString()), before);

        Click(dialog, "okButton");
        items = Stored(MakeItemRecord());
        QCOMPARE(items.size(), size_t(1));
        QCOMPARE(items[0].Value(kItemResultId), std::string("2"));
        const std::vector<ConfigRecord> results = Stored(MakeResultRecord());
        QCOMPARE(results.size(), size_t(1));
        QCOMPARE(results[0].Value(kResultName), std::string("Keep"));
    }

    void deleteAnsweredNoKeepsTheRows()
    {
        Seed({{"Lab", "10.0.0.1-10.0.0.9"}});
        ConfigStore store;
        store.Load(m_path.toStdString());
        m_answerYes = false;
        CFavoritesManage dialog(store, Services());
        Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItem(0)->setSelected(true);
        Click(dialog, "deleteButton");
        QCOMPARE(Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItemCount(), 1);
    }

    void failedSaveSaysWhyAndKeepsTheDialogWithTheRows()
    {
        QVERIFY(QDir().mkpath(m_path)); // a folder where the file should be
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        dialog.show();
        Fill(dialog, "Office", "10.0.0.1", "10.0.0.50");
        Click(dialog, "addButton");
        dialog.accept();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].startsWith(QStringLiteral("The favorites could not be saved.\n")));
        QVERIFY(dialog.isVisible());
        QCOMPARE(Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItemCount(), 1);

        // OK again, with the way clear: the one favorite is written once.
        QVERIFY(QDir(m_path).removeRecursively());
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const std::vector<ConfigRecord> results = Stored(MakeResultRecord());
        QCOMPARE(results.size(), std::size_t{1});
        QCOMPARE(results[0].Value(kResultName), std::string("Office"));
    }

    void cancelLeavesTheFileByteIdentical()
    {
        Seed({{"Lab", "10.0.0.1-10.0.0.9"}});
        const std::string before = test::ReadFile(m_path.toStdString());
        ConfigStore store;
        store.Load(m_path.toStdString());
        CFavoritesManage dialog(store, Services());
        Fill(dialog, "New", "10.0.5.1", "10.0.5.2");
        Click(dialog, "addButton");
        Child<QTreeWidget>(&dialog, "favoritesTreeWidget")->topLevelItem(0)->setSelected(true);
        Click(dialog, "deleteButton");
        Click(dialog, "cancelButton");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(test::ReadFile(m_path.toStdString()), before);
        QCOMPARE(m_rangesChanged, 0);
        std::vector<ConfigRecord> results;
        store.ListRecords(MakeResultRecord(), results);
        QCOMPARE(results.size(), size_t(1));
    }

    void mainWindowChooserListsTheFavoritesAfterOk()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        // No update check from a test: the window starts one when AutoUpdate is "1".
        ConfigRecord settings = MakeSettingsRecord();
        settings.SetValue(kAutoUpdate, "0");
        store.AddRecord(settings);
        FakeScanService service;
        SystemEnvironment environment(store);
        RecordingPrompts prompts;
        CTessvaleDlg window(service, environment, prompts);
        auto* chooser = window.findChild<QComboBox*>(QStringLiteral("resultComboBox"));
        QVERIFY(chooser != nullptr);
        QCOMPARE(chooser->findText(QStringLiteral("Office")), -1);

        // The Favorites command runs the dialog modally: answer it once it is up.
        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<CFavoritesManage*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            Fill(*dialog, "Office", "10.0.0.1", "10.0.0.50");
            Click(*dialog, "addButton");
            Click(*dialog, "okButton");
            answered = true;
        });
        window.OnCommand(32784);
        QVERIFY(answered);
        const int index = chooser->findText(QStringLiteral("Office"));
        QVERIFY(index >= 0);
        // Choosing it puts its range into the address entries.
        chooser->setCurrentIndex(index);
        QCOMPARE(window.findChild<AddressEdit*>(QStringLiteral("firstAddressEdit"))->Text(),
                 QStringLiteral("10.0.0.1"));
        QCOMPARE(window.findChild<AddressEdit*>(QStringLiteral("lastAddressEdit"))->Text(),
                 QStringLiteral("10.0.0.50"));
    }

private:
    FavoritesDialogServices Services()
    {
        FavoritesDialogServices services;
        services.ask = [this](QWidget*, const QString&) { return m_answerYes; };
        services.showMessage = [this](QWidget*, const QString& text) { m_messages << text; };
        services.rangesChanged = [this] { ++m_rangesChanged; };
        return services;
    }

    void Seed(const std::vector<std::pair<std::string, std::string>>& favorites)
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        for (const auto& [name, range] : favorites) {
            ConfigRecord result = MakeResultRecord();
            result.SetValue(kResultName, name);
            result.SetValue(kResultIpRange, range);
            store.AddRecord(result);
        }
        store.Save();
    }

    static void Fill(QWidget& dialog, const char* name, const char* from, const char* to)
    {
        Child<QLineEdit>(&dialog, "nameLineEdit")->setText(QString::fromLatin1(name));
        Child<AddressEdit>(&dialog, "fromAddressEdit")->SetText(QString::fromLatin1(from));
        Child<AddressEdit>(&dialog, "toAddressEdit")->SetText(QString::fromLatin1(to));
    }

    // The records of that kind in the file as it is now.
    std::vector<ConfigRecord> Stored(const ConfigRecord& kind) const
    {
        ConfigStore reread;
        reread.Load(m_path.toStdString());
        std::vector<ConfigRecord> records;
        reread.ListRecords(kind, records);
        return records;
    }

    static void Click(QWidget& dialog, const char* button) { Child<QPushButton>(&dialog, button)->click(); }

    std::unique_ptr<test::TempFolder> m_dir;
    QString m_path;
    QStringList m_messages;
    int m_rangesChanged = 0;
    bool m_answerYes = true;
};

QTEST_MAIN(FavoritesDialogTest)
#include "favorites_dialog_test.moc"
