#include "app/window_prompts.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include "app/about_dlg.h"
#include "app/desktop_open.h"
#include "app/icons.h"
#include "app/window_translation.h"
#include "dialogs/attribute_dlg.h"
#include "dialogs/save_dlg.h"
#include "dialogs/ui_text.h"

namespace tessvale {

PromptDialogServices SavePromptServices()
{
    PromptDialogServices services;
    services.icon = PromptIcon();
    services.openLink = [](QWidget* owner, const QUrl& url) {
        if (!OpenWithDesktop(url)) {
            ::tessvale::ShowMessage(owner, LauncherFailureText(url), QStringLiteral("Tessvale"),
                                    kMbOk | kMbIconInformation);
        }
    };
    return services;
}

bool DialogPrompts::AskYesNo(QWidget* owner, const QString& text)
{
    return ::tessvale::ShowMessage(owner, text, QStringLiteral("Tessvale"), kMbYesNo | kMbIconQuestion) == kAnswerYes;
}

void DialogPrompts::ShowMessage(QWidget* owner, const QString& text)
{
    ::tessvale::ShowMessage(owner, text, QStringLiteral("Tessvale"), kMbOk | kMbIconInformation);
}

std::optional<UnsavedAnswer> DialogPrompts::AskSaveFirst(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tessvale"), text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("saveFirstMessageBox"));
    QPushButton* save = box.addButton(QUiText("Save"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QUiText("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QUiText("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) {
        return UnsavedAnswer::Save;
    }
    if (box.clickedButton() == discard) {
        return UnsavedAnswer::Discard;
    }
    if (box.clickedButton() == cancel) {
        return UnsavedAnswer::Cancel;
    }
    return std::nullopt;
}

bool DialogPrompts::RunSavePrompt(QWidget* owner, bool hostNameLink, bool systemInfoLink, bool& dontAskAgain)
{
    CDlgPrompt prompt(hostNameLink, systemInfoLink, owner, SavePromptServices());
    const bool ok = prompt.exec() == QDialog::Accepted;
    dontAskAgain = prompt.DontAskAgain();
    return ok;
}

bool DialogPrompts::AskYesNoOnce(QWidget* owner, const QString& text, bool& dontAskAgain)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tessvale"), text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("askOnceMessageBox"));
    QPushButton* yes = box.addButton(QUiText("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QUiText("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    auto* check = new QCheckBox(QUiText("Don't ask again"), &box);
    check->setObjectName(QStringLiteral("dontAskCheckBox"));
    box.setCheckBox(check);
    box.exec();
    dontAskAgain = check->isChecked();
    return box.clickedButton() == yes;
}

QString DialogPrompts::AskResultName(QWidget* owner, const QString& proposedName)
{
    CSave dialog(proposedName, owner);
    dialog.exec();
    return dialog.GetName();
}

std::optional<ExportChoice> DialogPrompts::ChooseExportFile(QWidget* owner, const QString& proposedName,
                                                            ExportOffer offer)
{
    const QString txtFilter = QUiText("TXT Files (*.txt)");
    const QString csvFilter = QUiText("CSV Files (*.csv)");
    const QString jsonFilter = QUiText("JSON Files (*.json)");
    const QStringList filters =
        offer == ExportOffer::Changes ? QStringList{csvFilter} : QStringList{txtFilter, csvFilter, jsonFilter};
    QString folder = m_lastFolder;
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!QFileInfo(folder).isDir()) {
            folder = QDir::homePath();
        }
    }
    QFileDialog dialog(owner, QUiText("Save As"), folder, filters.join(QStringLiteral(";;")));
    dialog.setObjectName(QStringLiteral("exportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // the export asks on its own
    dialog.selectFile(proposedName);
    dialog.resize(860, 540); // room for the longer labels of other languages
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    ExportChoice choice;
    choice.path = dialog.selectedFiles().constFirst();
    const QString filter = dialog.selectedNameFilter();
    choice.type = filter == csvFilter ? ExportType::Csv : filter == jsonFilter ? ExportType::Json : ExportType::Txt;
    m_lastFolder = QFileInfo(choice.path).absolutePath();
    return choice;
}

void DialogPrompts::ShowProperties(QWidget* owner, const HostRecord& record, const QString& previousMac)
{
    CAttribute dialog(owner, m_notes);
    dialog.Fill(record);
    dialog.SetPreviousMac(previousMac);
    dialog.exec();
}

void DialogPrompts::ShowAbout(QWidget* owner)
{
    CAboutDlg about(owner);
    about.exec();
}

} // namespace tessvale
