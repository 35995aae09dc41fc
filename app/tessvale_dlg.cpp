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

#include "app/desktop_open.h"
#include "app/host_actions.h"
#include "app/icons.h"
#include "app/list_columns.h"
#include "app/logic/build_info.h"
#include "app/logic/command_ids.h"
#include "app/logic/headless_scan.h"
#include "app/logic/list_export.h"
#include "app/logic/remote_desktop.h"
#include "app/logic/window_guards.h"
#include "app/result_list_model.h"
#include "app/update_run_ui.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "common/text_util.h"
#include "dialogs/address_edit.h"
#include "dialogs/ui_text.h"
#include "scan/address_forms.h"
#include "scan/wake_on_lan.h"
#include "store/config_record.h"
#include "store/save_failure.h"

namespace tessvale {
namespace {

constexpr const char* kLookupHint = "IP/MAC";
const QColor kHintColour(0x6D, 0x6D, 0x6D);
// The keys of the remembered layout: names in a file, never shown.
constexpr const char* kLayoutGeometryKey = "Window/Geometry";

// A button of the range row that runs one of the window's commands, added to the row.
// Enter runs the lookup while the lookup box has the focus, and starts the scan while an
// address entry has it (eventFilter); elsewhere it is the focused widget's. So no button
// is an automatic default, which the dialog would make its main default.
QPushButton* AddCommandButton(CTessvaleDlg* window, QWidget* body, QHBoxLayout* row, const char* name, int command)
{
    auto* button = new QPushButton(body);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, window, [window, command] { window->OnCommand(command); });
    row->addWidget(button);
    return button;
}

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
    // A subnet typed or pasted into an entry fills both; Enter in one starts the scan.
    for (AddressEdit* entry : {m_firstAddress, m_lastAddress}) {
        connect(entry, &AddressEdit::RangeEntered, this, [this](std::uint32_t first, std::uint32_t last) {
            m_firstAddress->SetAddress(first);
            m_lastAddress->SetAddress(last);
        });
        for (QLineEdit* field : entry->findChildren<QLineEdit*>()) {
            field->installEventFilter(this);
        }
    }
    m_startButton = AddCommandButton(this, body, row, "startButton", kIdStart);
    row->addStretch(1);
    AddLookupBox(body, row);
    return row;
}

void CTessvaleDlg::AddLookupBox(QWidget* body, QHBoxLayout* row)
{
    m_lookupEdit = new QLineEdit(body);
    m_lookupEdit->setObjectName(QStringLiteral("lookupLineEdit"));
    m_lookupEdit->setMinimumWidth(110);
    m_lookupEdit->installEventFilter(this);
    row->addWidget(m_lookupEdit);
    m_lookupButton = AddCommandButton(this, body, row, "lookupButton", kIdLookupButton);

    // The lookup box shows the grey hint until it first gets the focus.
    m_strLookup = QString::fromLatin1(kLookupHint);
    m_lookupEdit->setText(m_strLookup);
    QPalette hint = m_lookupEdit->palette();
    hint.setColor(QPalette::Text, kHintColour);
    m_lookupEdit->setPalette(hint);
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

void CTessvaleDlg::RetranslateUi()
{
    RetranslateCommands();
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

void CTessvaleDlg::LanguageChanged()
{
    RetranslateUi();
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

void CTessvaleDlg::reject()
{
    OnCommand(kIdCancel);
}

void CTessvaleDlg::accept()
{
    OnCommand(kIdOk);
}

} // namespace tessvale
