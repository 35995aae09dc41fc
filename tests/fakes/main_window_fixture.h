// What the tests of the main window share: the fakes the window runs on, the window
// itself, the widgets found by their names, and a range scan delivered as the engine
// delivers it. A test class derives from it beside QObject.
#pragma once

#include <initializer_list>
#include <memory>
#include <vector>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>

#include "app/tessvale_dlg.h"
#include "dialogs/address_edit.h"
#include "fakes/fake_scan_service.h"
#include "fakes/fake_window_environment.h"
#include "fakes/recording_prompts.h"
#include "fakes/worker_calls.h"

namespace tessvale::test {

class MainWindowFixture
{
protected:
    FakeScanService service;
    FakeWindowEnvironment env;
    RecordingPrompts prompts;
    std::unique_ptr<CTessvaleDlg> window;

    // Fresh fakes with one adapter, 198.18.0.1 on eth0, whose default range is
    // 198.18.0.1-198.18.0.254.
    void ResetFakes()
    {
        service = FakeScanService();
        env = FakeWindowEnvironment();
        prompts = RecordingPrompts();
        env.adapters = {{"198.18.0.1", "eth0"}};
        env.ranges["198.18.0.1"] = {"198.18.0.1", "198.18.0.254"};
    }
    // The window over the fakes; shown.
    void OpenWindow()
    {
        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->show();
    }

    // A child of the window by its name; the test ends when there is none.
    template <class T> T* Find(const char* name)
    {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no widget %s", name);
        }
        return widget;
    }
    QTreeView* List() { return Find<QTreeView>("resultListView"); }
    QAbstractItemModel* Model() { return List()->model(); }
    QString Cell(int row, int column) { return Model()->index(row, column).data().toString(); }
    void SelectRows(std::initializer_list<int> rows)
    {
        List()->clearSelection();
        for (const int row : rows) {
            List()->selectionModel()->select(Model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    // The range's entries and their octet fields, 1 to 4.
    AddressEdit* First() { return Find<AddressEdit>("firstAddressEdit"); }
    AddressEdit* Last() { return Find<AddressEdit>("lastAddressEdit"); }
    static QLineEdit* Octet(AddressEdit* entry, int n)
    {
        return entry->findChild<QLineEdit*>(QStringLiteral("octet%1LineEdit").arg(n));
    }
    // Types into whichever field has the focus, as a user's keys go.
    static void TypeAtFocus(const QString& text)
    {
        for (const QChar ch : text) {
            QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
        }
    }
    // Empties an entry and types into it from its first field.
    static void TypeInto(AddressEdit* entry, const QString& text)
    {
        entry->Clear();
        Octet(entry, 1)->setFocus();
        TypeAtFocus(text);
    }

    // The end of a scan; the end-of-scan questions run queued.
    void FinishScan()
    {
        window->ScanFinished();
        QCoreApplication::processEvents();
    }
    // A range scan: Start, these hosts from a worker thread, the end.
    void ScanHosts(const std::vector<HostRecord>& hosts)
    {
        window->OnCommand(32771);
        for (const HostRecord& host : hosts) {
            HostFoundFromWorker(*window, host);
        }
        FinishScan();
    }
};

} // namespace tessvale::test
