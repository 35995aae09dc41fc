// The main window: the result chooser, the range and lookup controls, the result list,
// toolbar, status bar and tray icon. It receives the scan engine's messages, mirrors
// the state of ResultList and ScanState, and dispatches every command by its id.
// Its parts by job: layout and wiring (tessvale_dlg.cpp), the menus, toolbar and tray
// menu built from the command table and the dispatcher (tessvale_dlg_commands.cpp), the
// scans (tessvale_dlg_scan.cpp), the commands on the list and the files
// (tessvale_dlg_actions.cpp), the guards, chooser and filter (tessvale_dlg_guards.cpp).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include <QDialog>
#include <QTimer>

#include "app/logic/call_bridge.h"
#include "app/logic/command_table.h"
#include "app/logic/result_list.h"
#include "app/logic/scan_state.h"
#include "scan/scan_service.h"
#include "scan/scan_window.h"
#include "scan/update_throttle.h"

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QToolBar;
class QTreeView;
class QUrl;

namespace tessvale {

class AddressEdit;
class ListColumns;
class ResultListModel;
class WindowEnvironment;
class WindowPrompts;

class CTessvaleDlg : public QDialog, public ScanWindow
{
    Q_OBJECT

public:
    CTessvaleDlg(ScanService& scanService, WindowEnvironment& environment, WindowPrompts& prompts,
                 QWidget* parent = nullptr);
    ~CTessvaleDlg() override;

    // ScanWindow. ScanStarted runs on the window's thread; the others are called on scan
    // worker threads and handed to the window's thread, where they run before the call
    // returns (a call made on the window's thread runs directly). They wait in the
    // window's queue, which EventPump serves.
    void ScanStarted(int total) override;
    void ScanStep() override;
    void HostFound(const HostRecord& record) override;
    void ScanFinished() override;
    void ScanAddress(const std::string& address) override;
    void HostSilent(const std::string& address) override;
    void HostsSilent(std::span<const std::uint32_t> addresses) override;
    // Any thread: queues the Stop command for the window's thread.
    void PostStopCommand() override;
    // Any thread: the lookup text the last lookup command took.
    std::string LookupText() override;

    // What the scan service calls while it waits for its workers on the window's
    // thread: runs the workers' waiting calls, then the window's events.
    std::function<void()> EventPump();

    // The command dispatcher: every menu entry, toolbar button, button and tray entry.
    void OnCommand(int commandId);

    // The stored results changed (Save, favorites): rebuild the chooser.
    void RangesChanged();
    // The language changed: re-apply every text.
    void LanguageChanged();
    // Another start asks this copy to show itself (also from the tray).
    void ShowFromTray();
    // Another start with "-uninstall" asks this copy to close as OK does.
    void CloseInstance();
    // The periodic update run found a new version: "New version available!" is added at
    // the end of the menu bar (once); choosing it runs the interactive check.
    void AddNewVersionMenuItem();

    // Shows the window and runs until it closes (OK, Cancel, Exit, "-uninstall") or
    // until the application quits; hiding into the tray does not end the run, so a scan
    // and AutoScan go on. Returns the closing result.
    int Run();
    // Whether a tray can bring the hidden window back (the platform's tray by default;
    // a test without a tray host replaces it).
    void SetTrayAvailableCheck(std::function<bool()> check) { m_trayAvailable = std::move(check); }
    // Shows a tray notification (title, text); the tray icon's message by default, a
    // test records it.
    void SetNotifier(std::function<void(const QString&, const QString&)> notify) { m_notify = std::move(notify); }
    // The notes kept by MAC (canonical form): shown in the row's tooltip and written
    // with the changes. By default those of the environment (the configuration).
    void SetNoteSource(std::function<std::map<std::string, std::string>()> notes);

    // The changes of the last compared scan, and the list's filter.
    const std::vector<HostChange>& Changes() const { return m_changes.Changes(); }
    ListFilter Filter() const { return m_filter; }
    void SetFilter(ListFilter filter);

    // Restores the window's size, position and column widths from the file (an INI file
    // in the data folder) and writes them there when the window closes. A missing or
    // damaged file leaves the defaults.
    void RememberLayoutIn(const QString& path);

    const ResultList& Results() const { return m_results; }
    // The size the window opens with before a layout is remembered.
    static constexpr QSize kDefaultWindowSize{1280, 680};
    const ScanState& State() const { return m_state; }
    QString StatusText() const;

    void reject() override;
    void accept() override;

signals:
    // The window has closed (the exit signal of the process).
    void ExitSignalled();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    template <class Handler> void Deliver(Handler&& handler);
    // Any thread: has the window's thread run the calls waiting in m_calls.
    void WakeForCalls();

    void BuildMenus();
    // The entries of one place of the command table, with their keys.
    void AddCommands(QMenu* menu, CommandPlace place);
    void BuildToolBar();
    QWidget* BuildListFilter();
    void BuildControls();
    QHBoxLayout* BuildRangeRow(QWidget* body);
    // The lookup box and its button at the end of the range row.
    void AddLookupBox(QWidget* body, QHBoxLayout* row);
    QTreeView* BuildResultList(QWidget* body);
    void BuildStatusBar();
    void BuildTray();
    void FitToolButtonsToLabels();
    void RetranslateUi();
    // The menus' and the toolbar's texts in the language shown.
    void RetranslateCommands();
    void FitColumnsToHeaders();
    void SaveLayout();
    QAction* MakeAction(int commandId, const QString& objectName, QObject* owner);

    void ApplyControls();
    void UpdateMenuEnabling();
    void SetStatus(const QString& text);
    void ReloadSettings();

    void FillChooser();
    // The user picked another chooser entry: asks first when the list would be lost.
    void OnChooserPicked();
    void ApplyChooserSelection();
    void ClearList();
    // Asks Save / Discard / Cancel when replacing the list would lose rows: true when
    // the caller may go on (nothing to lose, discarded, or saved).
    bool MayReplaceList();
    // The range typed into the two entries can be scanned; otherwise says why.
    bool RangeAcceptable();
    // A status from the string table: shown again in the language chosen later.
    void SetStatusId(int stringId);
    // "Online:%d/Offline:%d" from the rows the list holds.
    void ShowCounts();

    bool RangeComplete() const;
    int SelectedRow() const;
    std::string FirstAddressText() const;
    std::string LastAddressText() const;

    // The commands' handlers, one per id (OnCommand's table).
    void OnOk();
    void OnCancel();
    void OnStart();
    void OnStop();
    void OnLookup();
    void OnRescan();
    void OnAutoScan();
    void OnSave();
    // Stores the list; true when it was stored.
    bool SaveResult();
    void OnProperties();

public:
    // The host actions of the table in host_actions.h (host_actions.cpp).
    void OnCopyIp();
    void OnCopyMac();
    void OnCopyName();
    void OnWebHttps();
    void OnSsh();
    void OnPing();

private:
    bool RunHostCommand(int commandId);
    void CopyColumn(int column);
    void OnSaveAs();
    void OnCopy();
    void OnRemoteDesktop();
    void OnWakeOnLan();
    void OnWeb();
    // Opens the address with the desktop's program, or says that none could.
    void OpenLink(const QUrl& url);
    void OnDeleteSelected();
    void OnDeleteAll();
    void OnDelete(bool all);
    void OnSettings();
    void OnFavorites();
    void OnAbout();
    void OnHome();
    void OnFeedback();
    void OnFaceBook();
    void OnInstallFolder();
    void OnDataFolder();
    void OnDrawChart();
    void OnCheckUpdates();
    void OnExportChanges();
    void CloseWindow(int result, bool ask = true);
    // True when the list holds rows that no stored result holds as shown.
    bool HoldsUnsavedResult();
    void OfferSaveAndChart();
    void DrainScan();
    void BeginScan();
    void StartEngine(const std::string& first, const std::string& last, bool macLookup);

    void HandleHostFound(const HostRecord& record);
    void HandleHostSilent(const std::string& address);
    void HandleScanFinished();
    void BeginComparison();
    void MarkChangesOf(const std::string& ip);
    void FinishComparison();
    void ReportChanges();
    void ApplyFilterTo(int row);
    void ApplyFilter();
    std::map<std::string, std::string> Notes() const;

    ScanService& m_scan;
    WindowEnvironment& m_env;
    WindowPrompts& m_prompts;

    ResultList m_results;
    ScanState m_state;
    ChangeSession m_changes;
    ListFilter m_filter = ListFilter::All;
    bool m_firstAutoRepetition = false; // the next Start is the first of an AutoScan
    bool m_changesNotified = false;     // the last notification told of changes
    std::function<void(const QString&, const QString&)> m_notify;
    std::function<std::map<std::string, std::string>()> m_notes;
    QLabel* m_filterLabel = nullptr; // "Show:", the filter's label
    QComboBox* m_filterBox = nullptr;
    QAction* m_exportChangesAction = nullptr;
    ResultListModel* m_model = nullptr;
    ListColumns* m_columns = nullptr;
    QLineEdit* m_textFilter = nullptr; // the typed filter above the list
    QString m_filterText;

    QToolBar* m_toolBar = nullptr;
    QComboBox* m_chooser = nullptr;
    QLabel* m_chooserLabel = nullptr;
    AddressEdit* m_firstAddress = nullptr;
    AddressEdit* m_lastAddress = nullptr;
    QPushButton* m_startButton = nullptr;
    QLineEdit* m_lookupEdit = nullptr;
    QPushButton* m_lookupButton = nullptr;
    QTreeView* m_listView = nullptr;
    QLabel* m_statusLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    // Progress and status reach the window at most 20 times a second during a scan.
    std::atomic<int> m_stepsDone{0};
    UpdateThrottle m_stepThrottle{std::chrono::milliseconds(50)};
    UpdateThrottle m_addressThrottle{std::chrono::milliseconds(50)};
    std::atomic<bool> m_stepFlushPending{false}; // a late showing of the held-back count is queued
    QSystemTrayIcon* m_tray = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_actionsMenu = nullptr;
    QMenu* m_optionsMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QMenu* m_trayMenu = nullptr;
    std::map<int, QAction*> m_menuActions;
    std::map<int, QAction*> m_toolActions;

    QTimer* m_autoScanTimer = nullptr; // timer 1
    QTimer* m_updateTimer = nullptr;   // timer 2

    QString m_strLookup;
    bool m_lookupHint = true;
    std::mutex m_lookupMutex;
    std::string m_lookupShared; // m_strLookup for the scan workers

    std::function<bool()> m_trayAvailable;

    std::atomic<unsigned> m_scanNumber{0}; // counts the scans started

    CallBridge m_calls{[this] { WakeForCalls(); }}; // the workers' calls waiting for the window's thread
    QString m_layoutPath;

    int m_chooserShown = -1;     // the chooser entry whose rows and range the window shows
    int m_statusId = -1;         // the string shown in the status bar, or -1 for another text
    bool m_statusCounts = false; // the status bar shows the counts of the rows

    bool m_stopping = false;
    bool m_starting = false;
    bool m_closing = false;
};

} // namespace tessvale
