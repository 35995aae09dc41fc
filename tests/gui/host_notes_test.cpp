#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTreeView>

#include "app/logic/change_tracking.h"
#include "app/logic/result_list.h"
#include "app/result_list_model.h"
#include "app/tessvale_dlg.h"
#include "dialogs/attribute_dlg.h"
#include "fakes/fake_scan_service.h"
#include "fakes/fake_window_environment.h"
#include "fakes/recording_prompts.h"
#include "fakes/temp_folder.h"
#include "fakes/worker_calls.h"
#include "store/config_store.h"

using namespace tessvale;

namespace {

// What a tooltip shows, markup rendered.
QString Shown(const QVariant& tip)
{
    QTextDocument shown;
    shown.setHtml(tip.toString());
    return shown.toPlainText();
}

HostRecord Host(const std::string& ip, const std::string& mac)
{
    HostRecord record;
    record.ip = ip;
    record.mac = mac;
    record.hostName = "PC";
    return record;
}

// The notes of the running program's document, behind the window's environment.
class NotedEnvironment : public FakeWindowEnvironment
{
public:
    std::map<std::string, std::string> Notes() override { return store.Notes(); }
    ConfigStore store;
};

// Properties that set a note, as the user does in the dialog.
class NotingPrompts : public RecordingPrompts
{
public:
    explicit NotingPrompts(ConfigStore& store) : m_store(store) {}
    void ShowProperties(QWidget* owner, const HostRecord& record, const QString& previousMac) override
    {
        RecordingPrompts::ShowProperties(owner, record, previousMac);
        m_store.SetNote(record.mac, "Typed in Properties");
    }

private:
    ConfigStore& m_store;
};

} // namespace

// The user's comment on a host, kept by its MAC: edited in the Properties dialog,
// shown in the list's tooltip, and carried into the change list.
class HostNotesTest : public QObject
{
    Q_OBJECT

private slots:
    void propertiesShowEditAndSaveTheNoteOfTheMac()
    {
        test::TempFolder folder;
        const std::string path = folder.File("Tessvale.xml");
        ConfigStore store;
        store.Load(path);
        QVERIFY(store.SetNote("00:11:22:33:44:55", "Printer"));

        CAttribute dialog(nullptr, &store);
        dialog.Fill(Host("10.0.0.5", "00-11-22-33-44-55"));
        dialog.show();
        QLineEdit* comment = dialog.CommentBox();
        auto* save = dialog.findChild<QPushButton*>(QStringLiteral("saveButton"));
        QVERIFY(comment->isEnabled() && !comment->isReadOnly());
        QCOMPARE(comment->text(), QStringLiteral("Printer"));
        QVERIFY(!save->isEnabled()); // nothing to save yet
        // Typing the same text back leaves nothing to save.
        QTest::keyClick(comment, Qt::Key_End);
        QTest::keyClicks(comment, QStringLiteral("x"));
        QVERIFY(save->isEnabled());
        QTest::keyClick(comment, Qt::Key_Backspace);
        QVERIFY(!save->isEnabled());

        comment->selectAll();
        QTest::keyClicks(comment, QStringLiteral("Printer, hall"));
        QVERIFY(save->isEnabled());
        QTest::keyClick(comment, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        ConfigStore reloaded;
        QVERIFY(reloaded.Load(path));
        QCOMPARE(reloaded.NoteOf("00:11:22:33:44:55"), std::string("Printer, hall"));
    }

    void propertiesWithoutARealMacOrStoreCannotTakeANote()
    {
        ConfigStore store;
        for (const char* mac : {"", "-", "00:00:00:00:00:00"}) {
            CAttribute dialog(nullptr, &store);
            dialog.Fill(Host("10.0.0.6", mac));
            QVERIFY(!dialog.CommentBox()->isEnabled());
        }
        CAttribute noStore;
        noStore.Fill(Host("10.0.0.7", "00:11:22:33:44:55"));
        QVERIFY(!noStore.CommentBox()->isEnabled());
        QCOMPARE(noStore.CommentBox()->text(), QString());
    }

    void failedSaveOfTheNoteIsReportedAndTheDialogStaysOpen()
    {
        test::TempFolder folder;
        const std::string blocker = folder.File("not-a-folder");
        QVERIFY(test::WriteFile(blocker, "x"));
        ConfigStore store;
        store.Load(blocker + "/Tessvale.xml");
        CAttribute dialog(nullptr, &store);
        QStringList messages;
        dialog.showMessage = [&messages](QWidget*, const QString& text) { messages.push_back(text); };
        dialog.Fill(Host("10.0.0.5", "00:11:22:33:44:55"));
        dialog.show();
        QTest::keyClicks(dialog.CommentBox(), QStringLiteral("Lab switch"));
        QTest::keyClick(dialog.CommentBox(), Qt::Key_Return); // one attempt, one message
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith(QStringLiteral("The comment could not be saved.\n")));
        QVERIFY(messages[0].contains(QString::fromStdString(blocker)));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.CommentBox()->text(), QStringLiteral("Lab switch"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
        QCOMPARE(messages.size(), 2);
        QVERIFY(dialog.isVisible());
    }

    void noteFollowsTheHostWhenItsAddressChanges()
    {
        ConfigStore store;
        QVERIFY(store.SetNote("02:00:00:00:00:0a", "Boss <laptop>"));

        ResultList list;
        list.AppendStored(StoredHost{"10.0.0.5", "02:00:00:00:00:0A", "PC", "", "", "", "", "", ""});
        list.AppendStored(StoredHost{"10.0.0.6", "02:00:00:00:00:0B", "OTHER", "", "", "", "", "", ""});
        ResultListModel model(list);
        model.SetNotes(store.Notes());
        QCOMPARE(Shown(model.data(model.index(0, kColumnIp), Qt::ToolTipRole)),
                 QStringLiteral("10.0.0.5\nComment: Boss <laptop>"));
        QCOMPARE(Shown(model.data(model.index(0, kColumnStatus), Qt::ToolTipRole)),
                 QStringLiteral("Comment: Boss <laptop>"));
        QCOMPARE(Shown(model.data(model.index(1, kColumnIp), Qt::ToolTipRole)), QStringLiteral("10.0.0.6"));

        // The next scan finds the same MAC at another address, spelt another way.
        model.BeginReset();
        list.Clear();
        list.AppendStored(StoredHost{"10.0.0.77", "02-00-00-00-00-0a", "PC", "", "", "", "", "", ""});
        model.EndReset();
        QCOMPARE(Shown(model.data(model.index(0, kColumnIp), Qt::ToolTipRole)),
                 QStringLiteral("10.0.0.77\nComment: Boss <laptop>"));

        // The change list gives the note at the new address and with the gone one.
        ChangeTracker tracker({HostSnapshot{"10.0.0.5", "02:00:00:00:00:0A", "PC", {}}});
        tracker.Answered(HostSnapshot{"10.0.0.77", "02-00-00-00-00-0a", "PC", {}});
        tracker.Finished();
        const std::string lines = FormatChangeLines(tracker.Changes(), "2026-01-01T00:00:00", store.Notes(), false);
        QCOMPARE(tracker.Changes().size(), std::size_t(2));
        std::size_t withNote = 0;
        for (std::size_t at = lines.find("Boss <laptop>"); at != std::string::npos;
             at = lines.find("Boss <laptop>", at + 1)) {
            ++withNote;
        }
        QCOMPARE(withNote, std::size_t(2));

        // A changed note reaches the rows already shown.
        QVERIFY(store.SetNote("02:00:00:00:00:0A", ""));
        model.SetNotes(store.Notes());
        QCOMPARE(Shown(model.data(model.index(0, kColumnIp), Qt::ToolTipRole)), QStringLiteral("10.0.0.77"));
    }

    void windowShowsTheNotesAndTheOneJustEdited()
    {
        FakeScanService service;
        NotedEnvironment env;
        env.adapters = {{"198.18.0.1", "eth0"}};
        env.ranges["198.18.0.1"] = {"198.18.0.1", "198.18.0.254"};
        QVERIFY(env.store.SetNote("02:00:00:00:00:01", "Known before"));
        NotingPrompts prompts(env.store);
        CTessvaleDlg window(service, env, prompts);
        window.show();
        window.OnCommand(32771); // Start
        test::CallFromWorker([&] {
            for (const char* mac : {"02:00:00:00:00:01", "02:00:00:00:00:02"}) {
                window.ScanStep();
                HostRecord record = Host(mac[16] == '1' ? "198.18.0.11" : "198.18.0.12", mac);
                window.HostFound(record);
            }
        });
        window.ScanFinished();
        QCoreApplication::processEvents();

        auto* list = window.findChild<QTreeView*>(QStringLiteral("resultListView"));
        QAbstractItemModel* model = list->model();
        QCOMPARE(model->rowCount(), 2);
        int known = model->index(0, kColumnIp).data().toString() == QStringLiteral("198.18.0.11") ? 0 : 1;
        QVERIFY(
            Shown(model->index(known, kColumnHostName).data(Qt::ToolTipRole)).endsWith(QStringLiteral("Known before")));
        const int other = 1 - known;
        QCOMPARE(Shown(model->index(other, kColumnHostName).data(Qt::ToolTipRole)), QStringLiteral("PC"));

        const QPoint onRow = list->visualRect(model->index(other, kColumnHostName)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onRow);
        QCOMPARE(prompts.properties.size(), std::size_t(1));
        QCOMPARE(Shown(model->index(other, kColumnHostName).data(Qt::ToolTipRole)),
                 QStringLiteral("PC\nComment: Typed in Properties"));
    }
};

QTEST_MAIN(HostNotesTest)
#include "host_notes_test.moc"
