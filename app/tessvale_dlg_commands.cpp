// The main window's commands: the menus, the toolbar and the tray menu built from the
// command table, the keys, the enabling of every entry, and the dispatcher that runs a
// command by its id.
#include <algorithm>
#include <array>
#include <span>

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QTreeView>

#include "app/icons.h"
#include "app/logic/build_info.h"
#include "app/logic/command_ids.h"
#include "app/logic/command_table.h"
#include "app/tessvale_dlg.h"
#include "app/update_run_ui.h"
#include "dialogs/ui_text.h"

namespace tessvale {
namespace {

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

} // namespace

void CTessvaleDlg::BuildMenus()
{
    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("mainMenuBar"));
    m_fileMenu = m_menuBar->addMenu(QString());
    m_fileMenu->setObjectName(QStringLiteral("fileMenu"));
    m_actionsMenu = m_menuBar->addMenu(QString());
    m_actionsMenu->setObjectName(QStringLiteral("actionsMenu"));
    m_optionsMenu = m_menuBar->addMenu(QString());
    m_optionsMenu->setObjectName(QStringLiteral("optionsMenu"));
    m_helpMenu = m_menuBar->addMenu(QString());
    m_helpMenu->setObjectName(QStringLiteral("helpMenu"));
    AddCommands(m_fileMenu, CommandPlace::FileMenu);
    AddCommands(m_actionsMenu, CommandPlace::ActionsMenu);
    AddCommands(m_optionsMenu, CommandPlace::OptionsMenu);
    AddCommands(m_helpMenu, CommandPlace::HelpMenu);
    for (QMenu* menu : {m_fileMenu, m_actionsMenu}) {
        connect(menu, &QMenu::aboutToShow, this, &CTessvaleDlg::UpdateMenuEnabling);
    }
    auto* selectAll = new QAction(this);
    selectAll->setObjectName(QStringLiteral("selectAllAction"));
    selectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(selectAll, &QAction::triggered, this, [this] { m_listView->selectAll(); });
    addAction(selectAll);
}

void CTessvaleDlg::AddCommands(QMenu* menu, CommandPlace place)
{
    for (const PlacedCommand& command : CommandsOf(place)) {
        if (command.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = MakeAction(command.id, QString::fromLatin1(command.objectName), menu);
        if (command.shortcut != nullptr) {
            action->setShortcut(QKeySequence(QString::fromLatin1(command.shortcut), QKeySequence::PortableText));
        }
        menu->addAction(action);
        if (command.id == kIdExportChanges) {
            // Labelled by the window itself (RetranslateCommands), not by the menu labels.
            m_exportChangesAction = action;
        } else {
            m_menuActions[command.id] = action;
        }
    }
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
    for (const PlacedCommand& command : CommandsOf(CommandPlace::ToolBar)) {
        if (command.id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        const QString name = QString::fromLatin1(command.objectName);
        QAction* action = MakeAction(command.id, name, m_toolBar);
        action->setIcon(ToolbarIcon(command.id));
        m_toolBar->addAction(action);
        if (QWidget* button = m_toolBar->widgetForAction(action)) {
            button->setObjectName(QString(name).replace(QStringLiteral("Action"), QStringLiteral("ToolButton")));
            button->setFixedWidth(64);
        }
        m_toolActions[command.id] = action;
    }
    m_toolBar->addSeparator();
    m_toolBar->addWidget(BuildListFilter());
}

QWidget* CTessvaleDlg::BuildListFilter()
{
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
    connect(m_filterBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetFilter(static_cast<ListFilter>(std::clamp(index, 0, 2))); });
    return filter;
}

void CTessvaleDlg::BuildTray()
{
    m_tray = new QSystemTrayIcon(AppIcon(), this);
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    AddCommands(m_trayMenu, CommandPlace::TrayMenu);
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

void CTessvaleDlg::RetranslateCommands()
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
    const std::span<const PlacedCommand> tools = CommandsOf(CommandPlace::ToolBar);
    for (std::size_t i = 0; i < tools.size() && i < labels.size(); ++i) {
        if (tools[i].id != 0) {
            m_toolActions[tools[i].id]->setText(ToQString(labels[i]));
            m_toolActions[tools[i].id]->setToolTip(ToQString(labels[i]));
        }
    }
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
    // The actions on a row need one; Copy with none still copies its blank line.
    const bool row = m_listView != nullptr && m_listView->selectionModel()->hasSelection();
    for (const auto& [id, action] : m_menuActions) {
        if (EnablingOf(id) != EnabledWhen::Always) {
            action->setEnabled(CommandEnabled(id, m_state, row, m_results.Count()));
        }
    }
}

void CTessvaleDlg::AddNewVersionMenuItem()
{
    if (QAction* action = AppendNewVersionMenuItem(*m_menuBar)) {
        connect(action, &QAction::triggered, this, [this] { OnCommand(kIdCheckUpdates); });
    }
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

} // namespace tessvale
