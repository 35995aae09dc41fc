#include "app/tessvale_dlg.h"

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <tuple>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "app/address_edit.h"
#include "app/desktop_open.h"
#include "app/host_actions.h"
#include "app/icons.h"
#include "app/list_columns.h"
#include "app/logic/build_info.h"
#include "app/logic/command_ids.h"
#include "app/logic/headless_scan.h"
#include "app/logic/list_export.h"
#include "app/logic/remote_desktop.h"
#include "app/logic/save_failure.h"
#include "app/logic/window_guards.h"
#include "app/result_list_model.h"
#include "app/ui_text.h"
#include "app/update_run_ui.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "common/text_util.h"
#include "scan/address_forms.h"
#include "scan/wake_on_lan.h"
#include "store/config_record.h"

namespace tessvale {
namespace {

constexpr const char* kLookupHint = "IP/MAC";
const QColor kHintColour(0x6D, 0x6D, 0x6D);
// The keys of the remembered layout: names in a file, never shown.
constexpr const char* kLayoutGeometryKey = "Window/Geometry";
// The message of an export that could not be written (the reason follows it).
constexpr const char* kWriteFailedMessage = "The file could not be written.";

// "2 new, 1 gone, 1 conflict" in the language shown: the counts that are not zero, MAC
// and name changes counted as changed.
QString ChangeSummaryText(const std::vector<HostChange>& changes)
{
    std::array<int, 4> counts{};
    for (const HostChange& change : changes) {
        switch (change.kind) {
        case HostChangeKind::New:
            ++counts[0];
            break;
        case HostChangeKind::Gone:
            ++counts[1];
            break;
        case HostChangeKind::MacChanged:
        case HostChangeKind::NameChanged:
            ++counts[2];
            break;
        case HostChangeKind::Conflict:
            ++counts[3];
            break;
        }
    }
    const std::array<QString, 4> forms = {QUiText("%1 new"), QUiText("%1 gone"), QUiText("%1 changed"),
                                          QUiText("%1 conflict")};
    QStringList parts;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 0) {
            parts << forms[i].arg(counts[i]);
        }
    }
    return parts.join(QStringLiteral(", "));
}

// The letter after an '&' (not "&&"), lower case; a null character when there is none.
QChar AccessLetter(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (text[i + 1] != QLatin1Char('&')) {
                return text[i + 1].toLower();
            }
            ++i;
        }
    }
    return {};
}

// Gives every entry of one menu an access letter no other entry of it uses, in any
// language: an entry's own '&' stays; the others take the first free letter that
// starts a word, else any free letter or digit. An entry with no free letter gets none.
void AddAccessLetters(const QList<QAction*>& actions)
{
    QString used;
    for (const QAction* action : actions) {
        if (const QChar letter = AccessLetter(action->text()); !letter.isNull()) {
            used += letter;
        }
    }
    for (QAction* action : actions) {
        QString text = action->text();
        if (action->isSeparator() || text.isEmpty() || !AccessLetter(text).isNull()) {
            continue;
        }
        qsizetype chosen = -1;
        for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
            for (qsizetype i = 0; i < text.size() && chosen < 0; ++i) {
                const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
                if (text[i].isLetterOrNumber() && (pass == 1 || wordStart) && !used.contains(text[i].toLower())) {
                    chosen = i;
                }
            }
        }
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (chosen >= 0) {
            const qsizetype escapedBefore = action->text().left(chosen).count(QLatin1Char('&'));
            used += text[chosen + escapedBefore].toLower();
            text.insert(chosen + escapedBefore, QLatin1Char('&'));
        }
        action->setText(text);
    }
}

class SaveUi : public StoreScanUi
{
public:
    SaveUi(WindowPrompts& prompts, QWidget* owner, QString proposal, std::function<void(const std::string&)> changed)
        : m_prompts(prompts), m_owner(owner), m_proposal(std::move(proposal)), m_changed(std::move(changed))
    {}
    std::string AskResultName() override { return ToStdString(m_prompts.AskResultName(m_owner, m_proposal)); }
    void RangesChanged(const std::string& newName) override { m_changed(newName); }
    void SaveFailed(const FileError& error) override
    {
        m_prompts.ShowMessage(m_owner, ToQString(SaveFailureText("The result could not be saved.", error)));
    }

private:
    WindowPrompts& m_prompts;
    QWidget* m_owner;
    QString m_proposal;
    std::function<void(const std::string&)> m_changed;
};

} // namespace

CTessvaleDlg::CTessvaleDlg(ScanService& scanService, WindowEnvironment& environment, WindowPrompts& prompts,
                           QWidget* parent)
    : QDialog(parent), m_scan(scanService), m_env(environment), m_prompts(prompts)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(AppIcon());
    setSizeGripEnabled(false);

    // Every text below is fetched through the string table; it comes translated.
    InstallTranslationHooks();
    m_model = new ResultListModel(m_results, this);
    m_model->SetNotes(Notes());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildMenus();
    layout->setMenuBar(m_menuBar);
    BuildToolBar();
    layout->addWidget(m_toolBar);
    BuildControls();
    BuildStatusBar();
    BuildTray();

    FillChooser();
    ReloadSettings();
    m_state.Initialise();
    ApplyControls();
    // Fits a 1366x768 screen with its panel, showing Status, Change, IP, MAC, Host Name
    // and NetCard Vendor without scrolling.
    resize(kDefaultWindowSize);

    const QFileInfo executable(QCoreApplication::applicationFilePath());
    const std::time_t built = executable.exists() ? executable.lastModified().toSecsSinceEpoch() : 0;
    setWindowTitle(ToQString(FormatTitle(VersionText(), built)));
    RetranslateUi();

    m_autoScanTimer = new QTimer(this);
    m_autoScanTimer->setObjectName(QStringLiteral("autoScanTimer"));
    connect(m_autoScanTimer, &QTimer::timeout, this, [this] { OnCommand(kIdStart); });
    m_updateTimer = new QTimer(this);
    m_updateTimer->setObjectName(QStringLiteral("updateTimer"));
    connect(m_updateTimer, &QTimer::timeout, this, [this] {
        if (m_env.Setting(kAutoUpdate) == "1") {
            m_env.CheckForUpdates(this, 2);
        }
    });
    m_updateTimer->start(kUpdateTimerPeriodMs);
    if (m_env.Setting(kAutoUpdate) == "1") {
        m_env.CheckForUpdates(this, 1);
    }
}

CTessvaleDlg::~CTessvaleDlg()
{
    if (!m_closing) {
        m_closing = true;
        DrainScan();
    }
    // Hidden while the result list still exists: the dialog's own destructor hides a
    // visible window after the members are gone, and a list view with a layout still
    // due would read the rows from the destroyed list then.
    hide();
}

void CTessvaleDlg::BuildMenus()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("mainMenuBar"));
    m_menuBar = bar;
    m_fileMenu = bar->addMenu(QString());
    m_fileMenu->setObjectName(QStringLiteral("fileMenu"));
    m_actionsMenu = bar->addMenu(QString());
    m_actionsMenu->setObjectName(QStringLiteral("actionsMenu"));
    m_optionsMenu = bar->addMenu(QString());
    m_optionsMenu->setObjectName(QStringLiteral("optionsMenu"));
    m_helpMenu = bar->addMenu(QString());
    m_helpMenu->setObjectName(QStringLiteral("helpMenu"));

    const auto add = [this](QMenu* menu, std::initializer_list<std::pair<int, const char*>> entries) {
        for (const auto& [id, name] : entries) {
            if (id == 0) {
                menu->addSeparator();
                continue;
            }
            if (id == kIdExportChanges) {
                // Labelled by the window itself (RetranslateUi), not by the menu table.
                m_exportChangesAction = MakeAction(id, QStringLiteral("exportChangesMenuAction"), menu);
                menu->addAction(m_exportChangesAction);
                continue;
            }
            QAction* action = MakeAction(id, QString::fromLatin1(name), menu);
            menu->addAction(action);
            m_menuActions[id] = action;
            // The host actions of the table follow Copy and Web(http).
            if (id == kIdCopy || id == kIdWeb) {
                for (const HostCommand& host : HostCommands()) {
                    if (host.afterCopy == (id == kIdCopy)) {
                        QAction* hostAction = MakeAction(host.id, QString::fromLatin1(host.objectName), menu);
                        menu->addAction(hostAction);
                        m_menuActions[host.id] = hostAction;
                    }
                }
            }
        }
    };
    add(m_fileMenu, {{kIdStart, "startMenuAction"},
                     {kIdAutoScan, "autoScanMenuAction"},
                     {kIdStop, "stopMenuAction"},
                     {0, nullptr},
                     {kIdSave, "saveMenuAction"},
                     {kIdSaveAs, "saveAsMenuAction"},
                     {0, nullptr},
                     {kIdExportChanges, nullptr},
                     {0, nullptr},
                     {kIdInstallFolder, "installFolderMenuAction"},
                     {kIdDataFolder, "dataFolderMenuAction"},
                     {0, nullptr},
                     {kIdCancel, "exitMenuAction"}});
    add(m_actionsMenu, {{kIdRescan, "rescanMenuAction"},
                        {0, nullptr},
                        {kIdProperties, "propertiesMenuAction"},
                        {0, nullptr},
                        {kIdWakeOnLan, "wakeOnLanMenuAction"},
                        {0, nullptr},
                        {kIdCopy, "copyMenuAction"},
                        {0, nullptr},
                        {kIdRemoteDesktop, "remoteDesktopMenuAction"},
                        {kIdWeb, "webMenuAction"},
                        {0, nullptr},
                        {kIdDelete, "deleteMenuAction"},
                        {kIdDeleteAll, "deleteAllMenuAction"},
                        {0, nullptr},
                        {kIdDrawChart, "drawChartMenuAction"}});
    add(m_optionsMenu, {{kIdSettings, "settingsMenuAction"}, {kIdFavorites, "favoritesMenuAction"}});
    add(m_helpMenu, {{kIdHome, "homeMenuAction"},
                     {kIdFeedback, "feedbackMenuAction"},
                     {kIdFaceBook, "faceBookMenuAction"},
                     {kIdCheckUpdates, "checkUpdatesMenuAction"},
                     {kIdAbout, "aboutMenuAction"}});
    for (QMenu* menu : {m_fileMenu, m_actionsMenu}) {
        connect(menu, &QMenu::aboutToShow, this, &CTessvaleDlg::UpdateMenuEnabling);
    }
    AddWindowKeys();
}

void CTessvaleDlg::AddWindowKeys()
{
    // Window-wide keys; an address or lookup entry with the focus keeps its own Ctrl+C,
    // Ctrl+A and Delete. Esc is the window's (keyPressEvent).
    m_menuActions[kIdSave]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_menuActions[kIdSaveAs]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_menuActions[kIdStart]->setShortcut(QKeySequence(Qt::Key_F5));
    m_menuActions[kIdDelete]->setShortcut(QKeySequence(Qt::Key_Delete));
    m_menuActions[kIdCopy]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    m_menuActions[kIdProperties]->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
    auto* selectAll = new QAction(this);
    selectAll->setObjectName(QStringLiteral("selectAllAction"));
    selectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(selectAll, &QAction::triggered, this, [this] { m_listView->selectAll(); });
    addAction(selectAll);
}

QAction* CTessvaleDlg::MakeAction(int commandId, const QString& objectName, QObject* owner)
{
    auto* action = new QAction(owner);
    action->setObjectName(objectName);
    action->setData(commandId);
    connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
    return action;
}

void CTessvaleDlg::BuildToolBar()
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setMovable(false);
    m_toolBar->setFixedHeight(60);
    const std::initializer_list<std::pair<int, const char*>> entries = {{kIdStart, "startAction"},
                                                                        {kIdAutoScan, "autoScanAction"},
                                                                        {kIdStop, "stopAction"},
                                                                        {0, nullptr},
                                                                        {kIdSettings, "settingsAction"},
                                                                        {kIdFavorites, "favoritesAction"},
                                                                        {0, nullptr},
                                                                        {kIdSaveAs, "saveAsAction"},
                                                                        {kIdSave, "saveAction"}};
    for (const auto& [id, name] : entries) {
        if (id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = MakeAction(id, QString::fromLatin1(name), m_toolBar);
        action->setIcon(ToolbarIcon(id));
        m_toolBar->addAction(action);
        if (QWidget* button = m_toolBar->widgetForAction(action)) {
            button->setObjectName(
                QString::fromLatin1(name).replace(QStringLiteral("Action"), QStringLiteral("ToolButton")));
            button->setFixedWidth(64);
        }
        m_toolActions[id] = action;
    }
    m_toolBar->addSeparator();
    // The filter with its label, one item of the toolbar.
    auto* filter = new QWidget(m_toolBar);
    auto* filterLayout = new QHBoxLayout(filter);
    filterLayout->setContentsMargins(6, 0, 0, 0);
    m_filterLabel = new QLabel(filter);
    m_filterLabel->setObjectName(QStringLiteral("changeFilterLabel"));
    m_filterBox = new QComboBox(filter);
    m_filterBox->setObjectName(QStringLiteral("changeFilterComboBox"));
    m_filterBox->addItems({QString(), QString(), QString()});
    m_filterLabel->setBuddy(m_filterBox);
    filterLayout->addWidget(m_filterLabel);
    filterLayout->addWidget(m_filterBox);
    m_textFilter = new QLineEdit(filter);
    m_textFilter->setObjectName(QStringLiteral("textFilterLineEdit"));
    m_textFilter->setClearButtonEnabled(true);
    m_textFilter->setMinimumWidth(220);
    filterLayout->addWidget(m_textFilter);
    connect(m_textFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filterText = text.trimmed();
        ApplyFilter();
    });
    m_toolBar->addWidget(filter);
    connect(m_filterBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetFilter(static_cast<ListFilter>(std::clamp(index, 0, 2))); });
}

void CTessvaleDlg::BuildControls()
{
    auto* body = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(8, 6, 8, 4);
    bodyLayout->setSpacing(6);
    bodyLayout->addLayout(BuildRangeRow(body));
    bodyLayout->addWidget(BuildResultList(body), 1);
    layout()->addWidget(body);
}

QHBoxLayout* CTessvaleDlg::BuildRangeRow(QWidget* body)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    m_chooserLabel = new QLabel(body);
    row->addWidget(m_chooserLabel);
    m_chooser = new QComboBox(body);
    m_chooser->setObjectName(QStringLiteral("resultComboBox"));
    m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_chooser->setMinimumContentsLength(14);
    m_chooser->setIconSize(QSize(16, 16));
    m_chooser->view()->setMinimumWidth(280);
    m_chooserLabel->setBuddy(m_chooser);
    connect(m_chooser, &QComboBox::currentIndexChanged, this, [this] { OnChooserPicked(); });
    row->addWidget(m_chooser);
    row->addSpacing(6);
    m_firstAddress = new AddressEdit(body);
    m_firstAddress->setObjectName(QStringLiteral("firstAddressEdit"));
    row->addWidget(m_firstAddress);
    row->addWidget(new QLabel(QStringLiteral("-"), body));
    m_lastAddress = new AddressEdit(body);
    m_lastAddress->setObjectName(QStringLiteral("lastAddressEdit"));
    row->addWidget(m_lastAddress);
    // A subnet typed or pasted into an entry fills both.
    for (AddressEdit* entry : {m_firstAddress, m_lastAddress}) {
        connect(entry, &AddressEdit::RangeEntered, this, [this](std::uint32_t first, std::uint32_t last) {
            m_firstAddress->SetAddress(first);
            m_lastAddress->SetAddress(last);
        });
    }
    m_startButton = new QPushButton(body);
    m_startButton->setObjectName(QStringLiteral("startButton"));
    m_startButton->setAutoDefault(false);
    connect(m_startButton, &QPushButton::clicked, this, [this] { OnCommand(kIdStart); });
    row->addWidget(m_startButton);
    for (AddressEdit* entry : {m_firstAddress, m_lastAddress}) {
        for (QLineEdit* field : entry->findChildren<QLineEdit*>()) {
            field->installEventFilter(this);
        }
    }
    row->addStretch(1);
    m_lookupEdit = new QLineEdit(body);
    m_lookupEdit->setObjectName(QStringLiteral("lookupLineEdit"));
    m_lookupEdit->setMinimumWidth(110);
    m_lookupEdit->installEventFilter(this);
    row->addWidget(m_lookupEdit);
    m_lookupButton = new QPushButton(body);
    m_lookupButton->setObjectName(QStringLiteral("lookupButton"));
    // Enter runs the lookup while the lookup box has the focus, and starts the scan
    // while an address entry has it (eventFilter); elsewhere it is the focused widget's.
    // Neither is an automatic default, which the dialog would make its main default.
    m_lookupButton->setAutoDefault(false);
    connect(m_lookupButton, &QPushButton::clicked, this, [this] { OnCommand(kIdLookupButton); });
    row->addWidget(m_lookupButton);

    // The lookup box shows the grey hint until it first gets the focus.
    m_strLookup = QString::fromLatin1(kLookupHint);
    m_lookupEdit->setText(m_strLookup);
    QPalette hint = m_lookupEdit->palette();
    hint.setColor(QPalette::Text, kHintColour);
    m_lookupEdit->setPalette(hint);
    return row;
}

QTreeView* CTessvaleDlg::BuildResultList(QWidget* body)
{
    m_listView = new QTreeView(body);
    m_listView->setObjectName(QStringLiteral("resultListView"));
    m_listView->setModel(m_model);
    m_listView->setRootIsDecorated(false);
    m_listView->setUniformRowHeights(true);
    m_listView->setAlternatingRowColors(true);
    m_listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView->setIconSize(QSize(16, 16));
    m_listView->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = m_listView->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The classic widths, widened where this font would cut an address, a MAC or a
    // NetBIOS name.
    const QFontMetrics metrics(m_listView->font());
    const std::array<QString, kColumnCount> samples = {QString(), QStringLiteral("255.255.255.255"),
                                                       QStringLiteral("DD:DD:DD:DD:DD:DD"),
                                                       QStringLiteral("DESKTOP-ABCDEF1")};
    for (int column = 0; column < kColumnCount; ++column) {
        const int sample = samples[column].isEmpty() ? 0 : metrics.horizontalAdvance(samples[column]) + 16;
        header->resizeSection(column, std::max(kColumnWidths[column], sample));
    }
    header->resizeSection(kColumnChange, kChangeColumnWidth);
    m_columns = new ListColumns(m_listView);
    m_columns->SetComparing(false);
    // Rows as high as the status icon and a margin, whichever column is measured.
    m_listView->setItemDelegate(new RowHeightDelegate(
        std::max(m_listView->fontMetrics().height(), m_listView->iconSize().height()) + 6, m_listView));
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        m_model->BeginReset();
        m_results.SortByColumn(column);
        m_model->EndReset();
        ApplyFilter();
        m_listView->header()->setSortIndicatorShown(true);
        m_listView->header()->setSortIndicator(column,
                                               m_results.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(m_listView, &QTreeView::customContextMenuRequested, this, [this](const QPoint& at) {
        UpdateMenuEnabling();
        m_actionsMenu->popup(m_listView->viewport()->mapToGlobal(at));
    });
    connect(m_listView, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.row() < m_results.Count()) {
            m_listView->setCurrentIndex(index);
            OnCommand(kIdProperties);
        }
    });
    m_listView->installEventFilter(this);
    connect(m_listView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CTessvaleDlg::UpdateMenuEnabling);
    connect(m_model, &QAbstractItemModel::modelReset, this, &CTessvaleDlg::UpdateMenuEnabling);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &CTessvaleDlg::UpdateMenuEnabling);
    return m_listView;
}

void CTessvaleDlg::BuildStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("mainStatusBar"));
    bar->setSizeGripEnabled(true);
    m_statusLabel = new QLabel(bar);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setFixedWidth(300);
    bar->addWidget(m_statusLabel);
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("scanProgressBar"));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setMaximumHeight(16);
    bar->addWidget(m_progress, 1);
    layout()->addWidget(bar);
}

void CTessvaleDlg::BuildTray()
{
    m_tray = new QSystemTrayIcon(AppIcon(), this);
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    for (const auto& [id, name] :
         {std::pair{kIdTrayShow, "showTrayAction"}, std::pair{kIdTrayStart, "startTrayAction"},
          std::pair{kIdTrayStop, "stopTrayAction"}, std::pair{kIdTrayExit, "exitTrayAction"}}) {
        QAction* action = MakeAction(id, QString::fromLatin1(name), m_trayMenu);
        m_trayMenu->addAction(action);
        m_menuActions[id] = action;
    }
    m_tray->setContextMenu(m_trayMenu);
    connect(m_trayMenu, &QMenu::aboutToShow, this, &CTessvaleDlg::UpdateMenuEnabling);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            ShowFromTray();
        }
    });
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
        // The notification of changes brings the window back showing them.
        if (m_changesNotified) {
            m_changesNotified = false;
            SetFilter(ListFilter::Changed);
            ShowFromTray();
        }
    });
    const QString tip = QStringLiteral("Tessvale ") + ToQString(VersionText());
    m_tray->setToolTip(tip.left(127));
    m_tray->show(); // no balloon at start: the icon's tip names the version
}
void CTessvaleDlg::RetranslateUi()
{
    m_fileMenu->setTitle(QUiText("&File"));
    m_actionsMenu->setTitle(QUiText("&Actions"));
    m_optionsMenu->setTitle(QUiText("&Options"));
    m_helpMenu->setTitle(QUiText("&Help"));
    for (const auto& [id, action] : m_menuActions) {
        action->setText(QUiText(MenuLabel(id)));
    }
    m_exportChangesAction->setText(QUiText("Export changes..."));
    for (QMenu* menu : {m_fileMenu, m_actionsMenu, m_optionsMenu, m_helpMenu, m_trayMenu}) {
        AddAccessLetters(menu->actions());
    }
    const std::vector<std::string> labels = SplitBarList(UiString(IDS_TOOLBAR));
    const std::vector<int> order = {kIdStart,     kIdAutoScan, kIdStop,   0,      kIdSettings,
                                    kIdFavorites, 0,           kIdSaveAs, kIdSave};
    for (std::size_t i = 0; i < order.size() && i < labels.size(); ++i) {
        if (order[i] != 0) {
            m_toolActions[order[i]]->setText(ToQString(labels[i]));
            m_toolActions[order[i]]->setToolTip(ToQString(labels[i]));
        }
    }
    QStringList headers;
    for (const std::string& header : SplitBarList(UiString(IDS_LIST_HEADERS))) {
        headers << ToQString(header);
    }
    headers << QUiText("Change");
    m_model->SetHeaders(headers);
    FitColumnsToHeaders();
    const QStringList filters = {QUiText("All"), QUiText("Answered"), QUiText("Changed")};
    for (int i = 0; i < filters.size(); ++i) {
        m_filterBox->setItemText(i, filters[i]);
    }
    m_filterBox->setToolTip(QUiText("Which hosts the list shows"));
    m_textFilter->setPlaceholderText(QUiText("Filter: IP, MAC, name, vendor, change"));
    m_textFilter->setToolTip(QUiText("Shows the rows that hold this text, as you type"));
    m_filterLabel->setText(QUiText("Show:"));
    m_chooserLabel->setText(QUiText("Select:"));
    m_startButton->setText(QUiText("Start"));
    if (m_lookupHint) {
        // The grey hint in the language shown, until the box is first entered.
        m_strLookup = QUiText(kLookupHint);
        m_lookupEdit->setText(m_strLookup);
    }
    m_lookupButton->setText(QUiText("IP<->MAC"));
    m_lookupButton->setToolTip(QUiText("Find the MAC of an IP, or the IP of a MAC in the range"));
    m_firstAddress->SetHint(QUiText("First address of the range"));
    m_lastAddress->SetHint(QUiText("Last address of the range"));
    // The status bar keeps what it told, in the new language.
    if (m_statusCounts) {
        ShowCounts();
    } else if (m_statusId >= 0 || m_statusLabel->text().isEmpty()) {
        SetStatusId(m_statusId >= 0 ? m_statusId : IDS_STATUS);
    }
    FitToolButtonsToLabels();
}

void CTessvaleDlg::FitToolButtonsToLabels()
{
    // A tool button as wide as its label in this font and language, never narrower than
    // the classic 64 pixels.
    for (const auto& [id, action] : m_toolActions) {
        if (QWidget* button = m_toolBar->widgetForAction(action)) {
            button->setFixedWidth(std::max(64, button->fontMetrics().horizontalAdvance(action->text()) + 14));
        }
    }
}

void CTessvaleDlg::LanguageChanged()
{
    RetranslateUi();
}

template <class Handler> void CTessvaleDlg::Deliver(Handler&& handler)
{
    if (QThread::currentThread() == thread()) {
        handler();
        return;
    }
    // The call waits in the window's own queue, not as a Qt event: a stop that drains
    // the workers from inside a posted event (the engine's Stop request) runs the queue
    // itself, where Qt would not deliver a posted event nested in another.
    PendingCall call{std::function<void()>(std::forward<Handler>(handler))};
    {
        const std::lock_guard lock(m_callMutex);
        m_calls.push_back(&call);
    }
    QMetaObject::invokeMethod(
        this, [this] { RunPendingCalls(); }, Qt::QueuedConnection);
    std::unique_lock lock(m_callMutex);
    m_callDone.wait(lock, [&call] { return call.done; });
}

void CTessvaleDlg::RunPendingCalls()
{
    for (;;) {
        PendingCall* call = nullptr;
        {
            const std::lock_guard lock(m_callMutex);
            if (m_calls.empty()) {
                return;
            }
            call = m_calls.front();
            m_calls.pop_front();
        }
        call->run();
        {
            const std::lock_guard lock(m_callMutex);
            call->done = true;
        }
        m_callDone.notify_all();
    }
}

std::function<void()> CTessvaleDlg::EventPump()
{
    return [this] {
        RunPendingCalls();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        RunPendingCalls();
    };
}

void CTessvaleDlg::ScanStarted(int total)
{
    m_stepsDone = 0;
    m_stepThrottle.Reset();
    m_addressThrottle.Reset();
    // The engine has drained the previous scan's workers: requests from now on are the
    // new scan's (see BeginScan).
    ++m_scanNumber;
    Deliver([this, total] {
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(0);
    });
}

void CTessvaleDlg::ScanStep()
{
    // Counted on the worker; shown when the throttle lets it through and at the finish.
    const int done = ++m_stepsDone;
    if (m_stepThrottle.Due()) {
        Deliver([this, done] { m_progress->setValue(std::clamp(done, m_progress->value(), m_progress->maximum())); });
        return;
    }
    // The last count of a burst is shown a moment later, without waiting for the window.
    if (!m_stepFlushPending.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                QTimer::singleShot(50, this, [this] {
                    m_stepFlushPending = false;
                    if (m_state.Busy()) {
                        m_progress->setValue(
                            std::clamp(m_stepsDone.load(), m_progress->value(), m_progress->maximum()));
                    }
                });
            },
            Qt::QueuedConnection);
    }
}

void CTessvaleDlg::HostFound(const HostRecord& record)
{
    Deliver([this, &record] { HandleHostFound(record); });
}

void CTessvaleDlg::ScanFinished()
{
    Deliver([this] {
        m_progress->setValue(std::clamp(m_stepsDone.load(), m_progress->value(), m_progress->maximum()));
        HandleScanFinished();
    });
}

void CTessvaleDlg::ScanAddress(const std::string& address)
{
    if (!m_addressThrottle.Due()) {
        return;
    }
    Deliver([this, &address] { SetStatus(FormatOne(QUiString(IDS_SCANNING), ToQString(address))); });
}

void CTessvaleDlg::HostSilent(const std::string& address)
{
    Deliver([this, &address] { HandleHostSilent(address); });
}

void CTessvaleDlg::HostsSilent(std::span<const std::uint32_t> addresses)
{
    if (addresses.empty()) {
        return;
    }
    // One hand-over to the window's thread for the whole batch; the status line and the
    // bar move as for single addresses.
    ScanAddress(FormatIpv4(addresses.back()));
    Deliver([this, addresses] {
        for (const std::uint32_t address : addresses) {
            HandleHostSilent(FormatIpv4(address));
        }
    });
    m_stepsDone += static_cast<int>(addresses.size()) - 1;
    ScanStep();
}

void CTessvaleDlg::PostStopCommand()
{
    // The request belongs to the scan running now: when that one has already ended,
    // a late Stop must not end the next, nor a stop or start that drains the workers.
    const unsigned scan = m_scanNumber.load();
    QMetaObject::invokeMethod(
        this,
        [this, scan] {
            if (scan == m_scanNumber.load() && m_state.Busy() && !m_starting && !m_stopping) {
                OnCommand(kIdStop);
            }
        },
        Qt::QueuedConnection);
}

std::string CTessvaleDlg::LookupText()
{
    std::lock_guard lock(m_lookupMutex);
    return m_lookupShared;
}

void CTessvaleDlg::HandleHostFound(const HostRecord& record)
{
    // Find where the row goes before touching the model, so that the view learns of the
    // insertion in the right order.
    const ResultList::Change change = m_results.Placement(record);
    if (change.inserted) {
        m_model->BeginInsert(change.row);
        m_results.HostFound(record);
        m_model->EndInsert();
    } else {
        m_results.HostFound(record);
        m_model->RowChanged(change.row);
    }
    // An updated row whose sorted text changed moves to its place.
    int row = change.row;
    if (const int to = m_results.SortedIndexOf(row); to != row) {
        m_model->BeginMove(row, to);
        m_results.MoveRow(row, to);
        m_model->EndMove();
        row = to;
    }
    // Compared with the baseline, and remembered as the range's previous scan.
    m_changes.Answered(SnapshotOf(record));
    MarkChangesOf(record.ip);
    ApplyFilterTo(row);
}

void CTessvaleDlg::MarkChangesOf(const std::string& ip)
{
    const std::vector<HostChange> changes = m_changes.ChangesOf(ip);
    if (changes.empty()) {
        return;
    }
    const int row = m_results.MarkChange(ip, m_changes.ChangeTextOf(ip), TintOf(changes));
    if (row >= 0) {
        m_model->RowChanged(row);
    }
}

void CTessvaleDlg::BeginComparison()
{
    // The baseline: the stored result the chooser shows, else this range's previous
    // scan; an AutoScan repetition after the first compares with the one before.
    std::optional<std::vector<HostSnapshot>> stored;
    const int index = m_chooser->currentIndex();
    if (index >= 0 && m_chooser->itemData(index).toUInt() != 0) {
        // A favorite without hosts yet (never scanned) is no baseline: else its first
        // scan would mark every host new.
        const std::vector<StoredHost> hosts = m_env.StoredHosts(m_chooser->itemData(index).toUInt());
        if (!hosts.empty()) {
            stored = SnapshotsOf(hosts);
        }
    }
    const bool repetition = m_state.AutoScan() && !m_firstAutoRepetition;
    m_firstAutoRepetition = false;
    bool comparing = false;
    if (m_state.MacSearch()) {
        m_changes.BeginWithout(); // a search for one MAC ends early: nothing is gone
    } else {
        comparing = m_changes.Begin(FirstAddressText() + "-" + LastAddressText(), stored, repetition);
    }
    m_model->BeginReset();
    m_results.ClearChanges();
    m_model->EndReset();
    m_columns->SetComparing(comparing);
    FitColumnsToHeaders();
    ApplyFilter();
}

void CTessvaleDlg::FinishComparison()
{
    const bool comparing = m_changes.Comparing();
    for (const HostChange& gone : m_changes.Finished()) {
        const HostSnapshot host{gone.ip, gone.mac.empty() ? gone.oldMac : gone.mac, gone.name, {}};
        const ResultList::Change at = m_results.Placement(host);
        if (at.inserted) {
            m_model->BeginInsert(at.row);
            m_results.MarkGone(host);
            m_model->EndInsert();
        } else {
            m_results.MarkGone(host);
            m_model->RowChanged(at.row);
        }
        ApplyFilterTo(at.row);
    }
    if (comparing) {
        ReportChanges();
    }
}

void CTessvaleDlg::ReportChanges()
{
    const std::vector<HostChange>& changes = m_changes.Changes();
    if (changes.empty() || !m_state.AutoScan()) {
        return;
    }
    // What AutoScan finds goes into the change log, so that a night can be read back.
    const std::string time = ToStdString(QDateTime::currentDateTime().toString(Qt::ISODate));
    const std::string log = m_env.DataFolder() + "/changes.csv";
    if (!AppendChangeLog(log, changes, time, Notes())) {
        SetStatus(QUiText("The change log could not be written."));
    }
    if (isHidden()) {
        m_changesNotified = true;
        const QString text = ChangeSummaryText(changes);
        if (m_notify) {
            m_notify(QStringLiteral("Tessvale"), text);
        } else if (m_tray != nullptr && QSystemTrayIcon::supportsMessages()) {
            m_tray->showMessage(QStringLiteral("Tessvale"), text, QSystemTrayIcon::Information);
        }
    }
}

void CTessvaleDlg::SetFilter(ListFilter filter)
{
    m_filter = filter;
    if (m_filterBox->currentIndex() != static_cast<int>(filter)) {
        const QSignalBlocker block(m_filterBox);
        m_filterBox->setCurrentIndex(static_cast<int>(filter));
    }
    ApplyFilter();
}

void CTessvaleDlg::ApplyFilterTo(int row)
{
    if (row >= 0 && row < m_results.Count()) {
        const ResultRow& shown = m_results.Row(row);
        // The typed text matches the change as shown (translated) as well.
        const bool matches =
            RowMatchesText(shown, ToStdString(m_filterText)) ||
            (!shown.change.empty() && ShownChangeText(shown.change).contains(m_filterText, Qt::CaseInsensitive));
        m_listView->setRowHidden(row, QModelIndex(), !RowPasses(shown, m_filter) || !matches);
    }
}

void CTessvaleDlg::ApplyFilter()
{
    for (int row = 0; row < m_results.Count(); ++row) {
        ApplyFilterTo(row);
    }
}

void CTessvaleDlg::SetNoteSource(std::function<std::map<std::string, std::string>()> notes)
{
    m_notes = std::move(notes);
    m_model->SetNotes(Notes());
}

std::map<std::string, std::string> CTessvaleDlg::Notes() const
{
    return m_notes ? m_notes() : m_env.Notes();
}

void CTessvaleDlg::HandleHostSilent(const std::string& address)
{
    for (int row : m_results.HostSilent(address)) {
        m_model->RowChanged(row);
    }
}

void CTessvaleDlg::HandleScanFinished()
{
    m_progress->setValue(0);
    if (m_stopping || m_closing) {
        ShowCounts();
        return; // a stop in progress sets the state itself; no end-of-scan questions
    }
    FinishComparison();
    ShowCounts(); // the gone rows the comparison added count as well
    const EndOfScan end = m_state.Finished(m_results.Count());
    ApplyControls();
    if (end.offerSave) {
        // The questions run after this message has been answered, so that the worker
        // that reported the end is not held while the user decides.
        QMetaObject::invokeMethod(
            this, [this] { OfferSaveAndChart(); }, Qt::QueuedConnection);
    }
}

void CTessvaleDlg::OfferSaveAndChart()
{
    if (m_closing || m_results.Count() == 0) {
        return;
    }
    showNormal();
    raise();
    activateWindow();
    // Each question can be turned off by its "Don't ask again" box and back on in Settings.
    if (m_env.Setting(kAskSaveAfterScan) != "0") {
        bool dontAsk = false;
        const bool save =
            m_prompts.RunSavePrompt(this, m_results.AnyHostNameMissing(), m_results.AnyCpuMissing(), dontAsk);
        if (dontAsk) {
            m_env.SetSetting(kAskSaveAfterScan, "0");
        }
        if (save) {
            OnCommand(kIdSave);
        }
    }
    if (!m_closing && m_env.Setting(kAskChartAfterScan) != "0") {
        bool dontAsk = false;
        const bool draw =
            m_prompts.AskYesNoOnce(this, QUiText("Do you want to use Visio to draw the flow chart?"), dontAsk);
        if (dontAsk) {
            m_env.SetSetting(kAskChartAfterScan, "0");
        }
        if (draw) {
            OnCommand(kIdDrawChart);
        }
    }
}

QString CTessvaleDlg::StatusText() const
{
    return m_statusLabel->text();
}

void CTessvaleDlg::SetStatus(const QString& text)
{
    m_statusLabel->setText(text);
    m_statusId = -1;
    m_statusCounts = false;
}

void CTessvaleDlg::ReloadSettings()
{
    m_state.SetAutoscanSpan(m_env.Setting(kAutoscanSpanSeconds));
}

void CTessvaleDlg::ApplyControls()
{
    const ScanControls& controls = m_state.Controls();
    m_toolActions[kIdStart]->setEnabled(controls.start);
    m_toolActions[kIdAutoScan]->setEnabled(controls.autoScan);
    m_toolActions[kIdStop]->setEnabled(controls.stop);
    m_chooser->setEnabled(controls.start);
    m_lookupButton->setEnabled(controls.start);
    m_startButton->setEnabled(controls.start);
    // The menu's entries carry the keys (F5): they follow the state at once, not only
    // when a menu opens.
    UpdateMenuEnabling();
}

void CTessvaleDlg::UpdateMenuEnabling()
{
    m_menuActions[kIdStart]->setEnabled(m_state.MenuStartEnabled());
    m_menuActions[kIdTrayStart]->setEnabled(m_state.MenuStartEnabled());
    m_menuActions[kIdStop]->setEnabled(m_state.MenuStopEnabled());
    m_menuActions[kIdTrayStop]->setEnabled(m_state.MenuStopEnabled());
    m_menuActions[kIdAutoScan]->setEnabled(m_state.MenuAutoScanEnabled());
    // The actions on a row need one; Copy with none still copies its blank line.
    const bool row = m_listView != nullptr && m_listView->selectionModel()->hasSelection();
    m_menuActions[kIdRescan]->setEnabled(row && m_state.MenuRescanEnabled());
    for (const int id : {kIdProperties, kIdWakeOnLan, kIdRemoteDesktop, kIdWeb, kIdDelete}) {
        m_menuActions[id]->setEnabled(row);
    }
    for (const HostCommand& host : HostCommands()) {
        m_menuActions[host.id]->setEnabled(row);
    }
    m_menuActions[kIdDeleteAll]->setEnabled(m_results.Count() > 0);
}

void CTessvaleDlg::FillChooser()
{
    const int remembered = m_chooser->currentIndex();
    {
        const QSignalBlocker block(m_chooser);
        m_chooser->clear();
        for (const AdapterEntry& adapter : m_env.Adapters()) {
            m_chooser->addItem(ChooserIcon(false), ToQString(adapter.address + "(" + adapter.description + ")"), 0u);
        }
        for (const StoredResultEntry& result : m_env.StoredResults()) {
            m_chooser->addItem(ChooserIcon(true), ToQString(result.name), result.id);
        }
        if (remembered >= 0 && remembered < m_chooser->count()) {
            m_chooser->setCurrentIndex(remembered);
            return;
        }
        m_chooser->setCurrentIndex(m_chooser->count() > 0 ? 0 : -1);
    }
    ApplyChooserSelection();
}

void CTessvaleDlg::RangesChanged()
{
    FillChooser();
}

void CTessvaleDlg::ClearList()
{
    m_model->BeginReset();
    m_results.Clear();
    m_model->EndReset();
    m_columns->SetComparing(false);
    if (m_statusCounts) {
        SetStatusId(IDS_STATUS); // no counts beside an empty list
    }
}

void CTessvaleDlg::ApplyChooserSelection()
{
    ClearList();
    const int index = m_chooser->currentIndex();
    m_chooserShown = index;
    if (index < 0) {
        return;
    }
    const std::string text = ToStdString(m_chooser->itemText(index));
    const std::string name = text.substr(0, text.find('('));
    if (const auto range = m_env.DefaultRange(name)) {
        m_firstAddress->SetText(ToQString(range->first));
        m_lastAddress->SetText(ToQString(range->last));
    } else {
        m_firstAddress->Clear();
        m_lastAddress->Clear();
    }
    const std::uint32_t id = m_chooser->itemData(index).toUInt();
    if (id == 0) {
        return;
    }
    for (const StoredResultEntry& result : m_env.StoredResults()) {
        if (result.id == id) {
            const std::size_t dash = result.ipRange.find('-');
            m_firstAddress->SetText(ToQString(result.ipRange.substr(0, dash)));
            m_lastAddress->SetText(dash == std::string::npos ? QString() : ToQString(result.ipRange.substr(dash + 1)));
            break;
        }
    }
    m_model->BeginReset();
    for (const StoredHost& host : m_env.StoredHosts(id)) {
        m_results.AppendStored(host);
    }
    m_model->EndReset();
    ApplyFilter();
}

bool CTessvaleDlg::RangeComplete() const
{
    return !m_firstAddress->IsBlank() && !m_lastAddress->IsBlank();
}

std::string CTessvaleDlg::FirstAddressText() const
{
    return FormatIpv4(m_firstAddress->Address().value_or(0));
}

std::string CTessvaleDlg::LastAddressText() const
{
    return FormatIpv4(m_lastAddress->Address().value_or(0));
}

int CTessvaleDlg::SelectedRow() const
{
    const QModelIndexList rows = m_listView->selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : rows) {
        if (first < 0 || index.row() < first) {
            first = index.row();
        }
    }
    return first;
}

bool CTessvaleDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_listView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~(Qt::AltModifier | Qt::KeypadModifier)) == Qt::NoModifier) {
            OnCommand(kIdProperties);
            return true;
        }
    }
    // The lookup button is the default only while the lookup box has the focus, the
    // Start button while an address entry has it.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const bool in = event->type() == QEvent::FocusIn;
        if (watched == m_lookupEdit) {
            m_lookupButton->setDefault(in);
        } else if (auto* field = qobject_cast<QWidget*>(watched);
                   field != nullptr && (m_firstAddress->isAncestorOf(field) || m_lastAddress->isAncestorOf(field))) {
            m_startButton->setDefault(in);
        }
    }
    if (watched == m_lookupEdit && event->type() == QEvent::FocusIn && m_lookupHint) {
        // The hint goes on the first entry and does not come back.
        m_lookupHint = false;
        if (m_lookupEdit->text() == m_strLookup) {
            m_strLookup.clear();
            m_lookupEdit->clear();
        }
        m_lookupEdit->setPalette(QPalette());
    }
    return QDialog::eventFilter(watched, event);
}

void CTessvaleDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    const bool trayAvailable = m_trayAvailable ? m_trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
    if (event->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable && m_tray != nullptr &&
        m_tray->isVisible() && !m_closing) {
        // Hidden only where the tray can bring it back. Run's loop goes on: hiding
        // does not end the window's run as it would end a dialog's exec().
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized() && !m_closing) {
                    hide();
                }
            },
            Qt::QueuedConnection);
    }
}

void CTessvaleDlg::RememberLayoutIn(const QString& path)
{
    m_layoutPath = path;
    // A file far larger than a layout is not one: it is not read.
    const QFileInfo file(path);
    if (!file.exists() || file.size() > qint64{64} * 1024) {
        return;
    }
    const QSettings layout(path, QSettings::IniFormat);
    const QByteArray geometry = layout.value(QLatin1String(kLayoutGeometryKey)).toByteArray();
    // restoreGeometry keeps the window on a screen that exists now.
    if (!geometry.isEmpty() && restoreGeometry(geometry)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    // The columns' order, widths and hidden ones; the change column shows only while a
    // comparison has a baseline.
    m_columns->Restore(layout);
    m_columns->SetComparing(m_changes.Comparing());
    FitColumnsToHeaders();
}

void CTessvaleDlg::SaveLayout()
{
    if (m_layoutPath.isEmpty()) {
        return;
    }
    QSettings layout(m_layoutPath, QSettings::IniFormat);
    layout.setValue(QLatin1String(kLayoutGeometryKey), saveGeometry());
    m_columns->Save(layout);
    layout.sync(); // a layout that cannot be written is not worth a question at exit
}

void CTessvaleDlg::FitColumnsToHeaders()
{
    // Every header stays readable in this font and language: a column narrower than its
    // title (and the sort arrow) is widened.
    QHeaderView* header = m_listView->header();
    const QFontMetrics metrics(header->font());
    const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                        header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 8;
    for (int column = 0; column < header->count(); ++column) {
        const QString title = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        if (title.isEmpty() || header->isSectionHidden(column)) {
            continue;
        }
        const int wanted = metrics.horizontalAdvance(title) + padding;
        if (header->sectionSize(column) < wanted) {
            header->resizeSection(column, wanted);
        }
    }
}

int CTessvaleDlg::Run()
{
    show();
    if (!m_closing) {
        QEventLoop loop;
        connect(this, &CTessvaleDlg::ExitSignalled, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::DialogExec);
    }
    return result();
}

void CTessvaleDlg::ShowFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void CTessvaleDlg::CloseInstance()
{
    // "-uninstall": closes as OK does, without asking.
    CloseWindow(QDialog::Accepted, false);
}

void CTessvaleDlg::keyPressEvent(QKeyEvent* event)
{
    // Esc stops a running scan and otherwise does nothing: it never closes the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_state.Busy()) {
            OnCommand(kIdStop);
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTessvaleDlg::AddNewVersionMenuItem()
{
    if (QAction* action = AppendNewVersionMenuItem(*m_menuBar)) {
        connect(action, &QAction::triggered, this, [this] { OnCommand(kIdCheckUpdates); });
    }
}

void CTessvaleDlg::reject()
{
    OnCommand(kIdCancel);
}

void CTessvaleDlg::accept()
{
    OnCommand(kIdOk);
}

void CTessvaleDlg::OnCommand(int commandId)
{
    using Handler = void (CTessvaleDlg::*)();
    struct Command
    {
        int id;
        Handler handler;
    };
    // Every command the window answers; an id without an entry does nothing.
    static constexpr std::array kCommands = {
        Command{kIdOk, &CTessvaleDlg::OnOk},
        Command{kIdCancel, &CTessvaleDlg::OnCancel},
        Command{kIdLookupButton, &CTessvaleDlg::OnLookup},
        Command{kIdStart, &CTessvaleDlg::OnStart},
        Command{kIdStop, &CTessvaleDlg::OnStop},
        Command{kIdSaveAs, &CTessvaleDlg::OnSaveAs},
        Command{kIdRescan, &CTessvaleDlg::OnRescan},
        Command{kIdWakeOnLan, &CTessvaleDlg::OnWakeOnLan},
        Command{kIdCopy, &CTessvaleDlg::OnCopy},
        Command{kIdRemoteDesktop, &CTessvaleDlg::OnRemoteDesktop},
        Command{kIdWeb, &CTessvaleDlg::OnWeb},
        Command{kIdSettings, &CTessvaleDlg::OnSettings},
        Command{kIdFavorites, &CTessvaleDlg::OnFavorites},
        Command{kIdAbout, &CTessvaleDlg::OnAbout},
        Command{kIdAboutBox, &CTessvaleDlg::OnAbout},
        Command{kIdHome, &CTessvaleDlg::OnHome},
        Command{kIdSave, &CTessvaleDlg::OnSave},
        Command{kIdDelete, &CTessvaleDlg::OnDeleteSelected},
        Command{kIdDeleteAll, &CTessvaleDlg::OnDeleteAll},
        Command{kIdAutoScan, &CTessvaleDlg::OnAutoScan},
        Command{kIdTrayShow, &CTessvaleDlg::ShowFromTray},
        Command{kIdTrayExit, &CTessvaleDlg::OnOk},
        Command{kIdFeedback, &CTessvaleDlg::OnFeedback},
        Command{kIdInstallFolder, &CTessvaleDlg::OnInstallFolder},
        Command{kIdDataFolder, &CTessvaleDlg::OnDataFolder},
        Command{kIdDrawChart, &CTessvaleDlg::OnDrawChart},
        Command{kIdFaceBook, &CTessvaleDlg::OnFaceBook},
        Command{kIdCheckUpdates, &CTessvaleDlg::OnCheckUpdates},
        Command{kIdExportChanges, &CTessvaleDlg::OnExportChanges},
        Command{kIdProperties, &CTessvaleDlg::OnProperties},
        Command{kIdTrayStart, &CTessvaleDlg::OnStart},
        Command{kIdTrayStop, &CTessvaleDlg::OnStop},
    };
    const auto* command = std::ranges::find(kCommands, commandId, &Command::id);
    if (command != kCommands.end()) {
        (this->*(command->handler))();
        return;
    }
    RunHostCommand(commandId);
}

void CTessvaleDlg::OnOk()
{
    CloseWindow(QDialog::Accepted);
}

void CTessvaleDlg::OnCancel()
{
    CloseWindow(QDialog::Rejected);
}

void CTessvaleDlg::OnWeb()
{
    const int row = SelectedRow();
    if (row >= 0) {
        OpenLink(QUrl(QStringLiteral("http://") + ToQString(m_results.Row(row).Ip())));
    }
}

void CTessvaleDlg::OnFavorites()
{
    m_env.RunFavoritesDialog(this);
    RangesChanged();
}

void CTessvaleDlg::OnAbout()
{
    m_prompts.ShowAbout(this);
}

void CTessvaleDlg::OnHome()
{
    OpenLink(QUrl(QStringLiteral(TESSVALE_HOME_URL)));
}

void CTessvaleDlg::OnFeedback()
{
    OpenLink(QUrl(QStringLiteral(TESSVALE_HOME_URL "/feedback.htm")));
}

void CTessvaleDlg::OnFaceBook()
{
    OpenLink(QUrl(QStringLiteral("https://www.facebook.com/tessvale")));
}

void CTessvaleDlg::OnInstallFolder()
{
    OpenLink(QUrl::fromLocalFile(QCoreApplication::applicationDirPath()));
}

void CTessvaleDlg::OnDataFolder()
{
    OpenLink(QUrl::fromLocalFile(ToQString(m_env.DataFolder())));
}

void CTessvaleDlg::OnDrawChart()
{
    std::vector<ListRowTexts> rows;
    for (const ResultRow& row : m_results.Rows()) {
        rows.emplace_back(row.text.begin() + kColumnIp, row.text.end());
    }
    m_env.DrawFlowChart(this, rows);
}

void CTessvaleDlg::OnCheckUpdates()
{
    m_env.CheckForUpdates(this, 0);
}

void CTessvaleDlg::OnStart()
{
    if (!m_state.MacSearch() && !m_state.Busy() && !RangeAcceptable()) {
        if (m_state.AutoScan()) {
            OnStop(); // a repetition over a range that was edited meanwhile ends AutoScan
        }
        return;
    }
    if (!m_state.Start(RangeComplete())) {
        return;
    }
    BeginScan();
    const std::string first = FirstAddressText();
    const std::string last = LastAddressText();
    BeginComparison();
    SetStatusId(IDS_START_SCAN);
    m_listView->setFocus();
    ApplyControls();
    m_results.ResetCounters();
    StartEngine(first, last, m_state.MacSearch());
}

void CTessvaleDlg::BeginScan()
{
    // Stop requests of the scan before this one are void from here; ScanStarted voids
    // those its workers send while the engine drains them.
    ++m_scanNumber;
}

void CTessvaleDlg::StartEngine(const std::string& first, const std::string& last, bool macLookup)
{
    // The engine first drains the previous scan's workers, serving their calls.
    m_starting = true;
    m_scan.StartScan(first, last, this, macLookup);
    m_starting = false;
}

void CTessvaleDlg::DrainScan()
{
    m_stopping = true;
    m_scan.StopAndDrain(EventPump());
    m_stopping = false;
}

void CTessvaleDlg::OnStop()
{
    m_autoScanTimer->stop();
    DrainScan();
    m_changes.Abandon();
    SetStatusId(IDS_SCAN_STOPPED);
    m_state.Stop();
    ApplyControls();
    m_progress->setValue(0);
}

void CTessvaleDlg::OnLookup()
{
    m_strLookup = m_lookupEdit->text().trimmed();
    const std::string text = ToStdString(m_strLookup);
    {
        std::lock_guard lock(m_lookupMutex);
        m_lookupShared = text;
    }
    // The list is emptied only when a lookup starts, and only after asking when it
    // holds an unsaved result; the untouched hint "IP/MAC" is neither form and gets the
    // explanation.
    const bool macSearch = !ParseDottedQuad(text) && ParseMac(text) && RangeComplete();
    if (macSearch && !RangeAcceptable()) {
        return;
    }
    if ((ParseDottedQuad(text) || macSearch) && !MayReplaceList()) {
        return;
    }
    switch (m_state.Lookup(text, RangeComplete())) {
    case LookupAction::ScanAddress:
        BeginScan();
        m_changes.BeginWithout();
        ClearList();
        ApplyControls();
        StartEngine(text, text, false);
        break;
    case LookupAction::AskForRange:
        m_prompts.ShowMessage(this, QUiString(IDS_ENTER_RANGE));
        break;
    case LookupAction::SearchMac:
        BeginScan();
        ClearList();
        ApplyControls();
        QMetaObject::invokeMethod(
            this, [this] { OnCommand(kIdStart); }, Qt::QueuedConnection);
        break;
    case LookupAction::Invalid:
    case LookupAction::Nothing:
        m_prompts.ShowMessage(this,
                              QUiText("Enter an IP address (192.168.1.10) or a MAC address (00:11:22:AA:BB:CC)."));
        break;
    }
}

void CTessvaleDlg::OnRescan()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const std::string ip = m_results.Row(row).Ip();
    m_state.Rescan();
    m_changes.BeginWithout();
    BeginScan();
    ApplyControls();
    StartEngine(ip, ip, false);
}

void CTessvaleDlg::OnAutoScan()
{
    ReloadSettings();
    if (!m_state.StartAutoScan(RangeComplete())) {
        return;
    }
    m_firstAutoRepetition = true;
    OnCommand(kIdStart);
    ReloadSettings();
    m_autoScanTimer->start(static_cast<int>(std::min<long long>(m_state.AutoScanPeriodMs(), INT32_MAX)));
}

void CTessvaleDlg::OnSettings()
{
    m_env.RunSettingsDialog(this);
    ReloadSettings();
    m_state.AfterSettings();
    m_toolActions[kIdAutoScan]->setEnabled(m_state.Controls().autoScan);
}

void CTessvaleDlg::OnSave()
{
    SaveResult();
}

bool CTessvaleDlg::SaveResult()
{
    const int index = m_chooser->currentIndex();
    if (index < 0 || m_chooser->itemText(index).isEmpty()) {
        return false;
    }
    const std::string first = FirstAddressText();
    const std::string last = LastAddressText();
    const std::string text = ToStdString(m_chooser->itemText(index));
    const std::uint32_t id = m_chooser->itemData(index).toUInt();
    SaveUi ui(m_prompts, this, ToQString(first + "-" + last), [this](const std::string& name) {
        RangesChanged();
        // Select the new entry without reloading the list. Names are matched exactly
        // ("LAB100" and "lab100" are two results); the new result is the last of its name.
        int found = -1;
        for (int i = m_chooser->count() - 1; i >= 0 && found < 0; --i) {
            if (m_chooser->itemData(i).toUInt() != 0 && m_chooser->itemText(i) == ToQString(name)) {
                found = i;
            }
        }
        if (found >= 0) {
            const QSignalBlocker block(m_chooser);
            m_chooser->setCurrentIndex(found);
            m_chooserShown = found;
        }
    });
    if (m_env.StoreScan(ui, id, first, last, m_results.ToStoredHosts()) == 0) {
        return false;
    }
    SetStatusId(IDS_SAVED);
    return true;
}

void CTessvaleDlg::OnSaveAs()
{
    const int index = m_chooser->currentIndex();
    if (index < 0) {
        return;
    }
    const auto choice = m_prompts.ChooseExportFile(this, m_chooser->itemText(index), ExportOffer::List);
    if (!choice) {
        return;
    }
    const std::string path = ExportPath(ToStdString(choice->path), choice->type);
    if (QFile::exists(ToQString(path)) && !m_prompts.AskYesNo(this, QUiString(IDS_FILE_EXISTS))) {
        return;
    }
    const FileError error = WriteExportFileReporting(path, FormatExport(m_results.Rows(), choice->type));
    if (error) {
        m_prompts.ShowMessage(this, ToQString(SaveFailureText(kWriteFailedMessage, error)));
    }
}

void CTessvaleDlg::OnExportChanges()
{
    const auto choice = m_prompts.ChooseExportFile(this, QUiText("changes"), ExportOffer::Changes);
    if (!choice) {
        return;
    }
    // The change list is CSV, the one type offered.
    std::string path = ToStdString(choice->path);
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        path.erase(dot);
    }
    path += ".csv";
    if (QFile::exists(ToQString(path)) && !m_prompts.AskYesNo(this, QUiString(IDS_FILE_EXISTS))) {
        return;
    }
    const std::string time = ToStdString(QDateTime::currentDateTime().toString(Qt::ISODate));
    const FileError error = WriteExportFileReporting(path, FormatChangeLines(m_changes.Changes(), time, Notes(), true));
    if (error) {
        m_prompts.ShowMessage(this, ToQString(SaveFailureText(kWriteFailedMessage, error)));
    }
}

void CTessvaleDlg::OnCopy()
{
    // Every selected row in list order, one line each; with none the blank line.
    std::vector<int> rows;
    for (const QModelIndex& index : m_listView->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::ranges::sort(rows);
    std::string text = rows.empty() ? CopyText(nullptr) : std::string();
    for (const int row : rows) {
        text += (text.empty() ? "" : "\n") + CopyText(&m_results.Row(row));
    }
    QGuiApplication::clipboard()->setText(ToQString(text));
}

void CTessvaleDlg::OnRemoteDesktop()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const auto command = RemoteDesktopCommand(m_results.Row(row).Ip(), [](const std::string& program) {
        return !QStandardPaths::findExecutable(ToQString(program)).isEmpty();
    });
    if (!command) {
        m_prompts.ShowMessage(this, QUiText("No Remote Desktop client was found. Install xfreerdp or Remmina."));
        return;
    }
    QStringList arguments;
    for (std::size_t i = 1; i < command->size(); ++i) {
        arguments << ToQString((*command)[i]);
    }
    if (!QProcess::startDetached(ToQString(command->front()), arguments)) {
        m_prompts.ShowMessage(this, QUiText("The Remote Desktop client could not be started."));
    }
}

void CTessvaleDlg::OnDeleteSelected()
{
    OnDelete(false);
}

void CTessvaleDlg::OnDeleteAll()
{
    OnDelete(true);
}

void CTessvaleDlg::OnDelete(bool all)
{
    // The question says what goes: rows of the list, not a stored result.
    const int count = all ? m_results.Count() : static_cast<int>(m_listView->selectionModel()->selectedRows().size());
    if (count == 0) {
        return;
    }
    const QString question =
        all          ? QUiText("Delete all %1 rows from the list? Stored results keep theirs.").arg(count)
        : count == 1 ? QUiText("Delete the row of %1 from the list? Stored results keep it.")
                           .arg(ToQString(m_results.Row(SelectedRow()).Ip()))
                     : QUiText("Delete the %1 selected rows from the list? Stored results keep them.").arg(count);
    if (!m_prompts.AskYesNo(this, question)) {
        return;
    }
    if (all) {
        ClearList();
        return;
    }
    // Every selected row goes, the lowest last so that the indices stay valid.
    std::vector<int> rows;
    for (const QModelIndex& index : m_listView->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    m_model->BeginReset();
    for (int row : rows) {
        m_results.RemoveRow(row);
    }
    m_model->EndReset();
    if (m_statusCounts) {
        ShowCounts();
    }
}

void CTessvaleDlg::CloseWindow(int result, bool ask)
{
    if (m_closing) {
        return;
    }
    // One question, and only where closing would lose work: a running scan or rows that
    // were never stored.
    if (ask && (m_state.Busy() || HoldsUnsavedResult()) &&
        !m_prompts.AskYesNo(this, QUiText("Quit and discard the current result?"))) {
        return;
    }
    m_closing = true;
    SaveLayout();
    m_autoScanTimer->stop();
    m_updateTimer->stop();
    DrainScan();
    emit ExitSignalled();
    m_tray->hide();
    QDialog::done(result);
}

} // namespace tessvale
