#include <filesystem>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtTest>

#include "app/window_translation.h"
#include "common/localization.h"
#include "common/string_table.h"
#include "fakes/local_http_server.h"
#include "fakes/temp_folder.h"

using namespace tessvale;

namespace {

// Answers the message boxes that come up, one answer per box, and records their texts.
class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QList<QMessageBox::StandardButton> answers) : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswerer::Answer);
        m_timer.start(20);
    }
    QStringList texts;
    QStringList captions;
    QList<QStringList> buttonTexts;

private:
    void Answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || m_answers.isEmpty()) {
            return;
        }
        texts << box->text();
        captions << box->windowTitle();
        QStringList labels;
        for (QAbstractButton* button : box->buttons()) {
            labels << button->text();
        }
        buttonTexts << labels;
        box->button(m_answers.takeFirst())->click();
    }
    QList<QMessageBox::StandardButton> m_answers;
    QTimer m_timer;
};

// A dialog shaped like the program's: texts, user data, a tool bar and a menu bar.
struct SampleDialog
{
    SampleDialog()
    {
        dialog.setWindowTitle(QStringLiteral("Settings"));
        auto* layout = new QVBoxLayout(&dialog);
        menuBar = new QMenuBar(&dialog);
        layout->setMenuBar(menuBar);
        QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
        startItem = file->addAction(QStringLiteral("Start"));
        file->addSeparator();
        QMenu* help = file->addMenu(QStringLiteral("&Help"));
        aboutItem = help->addAction(QStringLiteral("About"));
        toolBar = new QToolBar(&dialog);
        toolAction = toolBar->addAction(QStringLiteral("Start"));
        layout->addWidget(toolBar);
        okButton = new QPushButton(QStringLiteral("OK"), &dialog);
        layout->addWidget(okButton);
        group = new QGroupBox(QStringLiteral("Options"), &dialog);
        auto* groupLayout = new QVBoxLayout(group);
        autoScan = new QCheckBox(QStringLiteral("AutoScan"), group);
        groupLayout->addWidget(autoScan);
        hint = new QLabel(QStringLiteral("Threads hint"), group);
        groupLayout->addWidget(hint);
        layout->addWidget(group);
        edit = new QLineEdit(QStringLiteral("Start"), &dialog);
        layout->addWidget(edit);
        combo = new QComboBox(&dialog);
        combo->addItem(QStringLiteral("Start"));
        layout->addWidget(combo);
        link = new QLabel(QStringLiteral("<a href=\"https://x.invalid\">Start</a>"), &dialog);
        layout->addWidget(link);
        odd = new QLabel(QStringLiteral("Not in any file"), &dialog);
        layout->addWidget(odd);
    }
    QDialog dialog;
    QMenuBar* menuBar;
    QAction* startItem;
    QAction* aboutItem;
    QToolBar* toolBar;
    QAction* toolAction;
    QPushButton* okButton;
    QGroupBox* group;
    QCheckBox* autoScan;
    QLabel* hint;
    QLineEdit* edit;
    QComboBox* combo;
    QLabel* link;
    QLabel* odd;
};

} // namespace

class WindowTranslationTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_temp = std::make_unique<test::TempFolder>();
        m_folder = m_temp->File("Language");
        std::filesystem::create_directories(m_folder);
        SetLanguageFolderOverride(m_folder);
        QVERIFY(test::WriteFile(m_folder + "/Language.xml",
                                "<root><LANG ITEM=\"ENU\" VALUE=\"English\" URL=\"http://x.invalid/enu.ini\"/>"
                                "<LANG ITEM=\"DEU\" VALUE=\"Deutsch\" URL=\"http://x.invalid/deu.ini\"/>"
                                "<LANG ITEM=\"FRA\" VALUE=\"Fran\xC3\xA7"
                                "ais\" URL=\"http://x.invalid/fra.ini\"/></root>"));
        QVERIFY(test::WriteFile(m_folder + "/deu.ini",
                                "[Language]\nSettings=Einstellungen\n&File=&Datei\nStart=Starten\n&Help=&Hilfe\n"
                                "About=Info\nOptions=Optionen\nAutoScan=Automatisch\n"
                                "Threads hint=Threads\\nBis zu 64 gleichzeitig\n&Yes=&Ja\n&No=&Nein\n"
                                "Question?=Frage?\nTessvale=Tessvale DE\nStatus:=Zustand:\n"));
        QVERIFY(test::WriteFile(m_folder + "/fra.ini",
                                "[Language]\nSettings=Param\xC3\xA8tres\n&File=&Fichier\nStart=D\xC3\xA9marrer\n"
                                "&Help=&Aide\nAbout=\xC3\x80 propos\nOptions=Options FR\nAutoScan=Auto FR\n"));
    }
    void cleanup()
    {
        SetLanguageFolderOverride({});
        m_temp.reset();
    }

    void translatesTextsButLeavesUserDataAlone()
    {
        QVERIFY(WriteLanguageCode("DEU"));
        SampleDialog sample;
        TranslateWindow(&sample.dialog, true);
        QCOMPARE(sample.dialog.windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(sample.menuBar->actions().first()->text(), QStringLiteral("&Datei"));
        QCOMPARE(sample.startItem->text(), QStringLiteral("Starten"));
        QCOMPARE(sample.aboutItem->text(), QStringLiteral("Info"));
        QCOMPARE(sample.toolAction->text(), QStringLiteral("Starten"));
        QCOMPARE(sample.okButton->text(), QStringLiteral("OK"));
        QCOMPARE(sample.group->title(), QStringLiteral("Optionen"));
        QCOMPARE(sample.autoScan->text(), QStringLiteral("Automatisch"));
        // A translation with a line feed: first line shown, whole text as tooltip.
        QCOMPARE(sample.hint->text(), QStringLiteral("Threads"));
        QCOMPARE(sample.hint->toolTip(), QStringLiteral("Threads\nBis zu 64 gleichzeitig"));
        QCOMPARE(sample.edit->text(), QStringLiteral("Start"));
        QCOMPARE(sample.combo->itemText(0), QStringLiteral("Start"));
        QVERIFY(sample.link->text().contains(QStringLiteral(">Start<")));
    }

    void withoutTooltipsTheWholeTextIsShown()
    {
        QVERIFY(WriteLanguageCode("DEU"));
        SampleDialog sample;
        TranslateWindow(&sample.dialog, false);
        QCOMPARE(sample.hint->text(), QStringLiteral("Threads\nBis zu 64 gleichzeitig"));
        QVERIFY(sample.hint->toolTip().isEmpty());
    }

    void switchesEnglishGermanFrenchAndBack()
    {
        QVERIFY(WriteLanguageCode("ENU"));
        SampleDialog sample;
        TranslateWindow(&sample.dialog, true);
        QCOMPARE(sample.dialog.windowTitle(), QStringLiteral("Settings"));

        ApplyLanguage(&sample.dialog, QStringLiteral("Deutsch"));
        QCOMPARE(QString::fromStdString(GetLanguageCode()), QStringLiteral("DEU"));
        QCOMPARE(sample.dialog.windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(sample.startItem->text(), QStringLiteral("Starten"));

        sample.odd->setText(QStringLiteral("Irgendwas"));
        ApplyLanguage(&sample.dialog, QString::fromUtf8("Fran\xC3\xA7"
                                                        "ais"));
        QCOMPARE(QString::fromStdString(GetLanguageCode()), QStringLiteral("FRA"));
        QCOMPARE(sample.dialog.windowTitle(), QString::fromUtf8("Param\xC3\xA8tres"));
        QCOMPARE(sample.menuBar->actions().first()->text(), QStringLiteral("&Fichier"));
        QCOMPARE(sample.startItem->text(), QString::fromUtf8("D\xC3\xA9marrer"));
        QCOMPARE(sample.aboutItem->text(), QString::fromUtf8("\xC3\x80 propos"));
        QCOMPARE(sample.toolAction->text(), QString::fromUtf8("D\xC3\xA9marrer"));
        QCOMPARE(sample.autoScan->text(), QStringLiteral("Auto FR"));
        QCOMPARE(sample.odd->text(), QStringLiteral("Irgendwas"));
        // The split label is retranslated from its whole German text; French has none.
        QCOMPARE(sample.hint->text(), QStringLiteral("Threads hint"));

        ApplyLanguage(&sample.dialog, QStringLiteral("English"));
        QCOMPARE(QString::fromStdString(GetLanguageCode()), QStringLiteral("ENU"));
        QCOMPARE(sample.dialog.windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(sample.menuBar->actions().first()->text(), QStringLiteral("&File"));
        QCOMPARE(sample.aboutItem->text(), QStringLiteral("About"));
        QCOMPARE(sample.group->title(), QStringLiteral("Options"));
    }

    void stringTableEntriesAreTranslated()
    {
        QVERIFY(WriteLanguageCode("DEU"));
        QCOMPARE(LoadTranslatedString(IDS_STATUS), QStringLiteral("Zustand:"));
        QCOMPARE(LoadTranslatedString(IDS_NO_DATA_SELECTED), QStringLiteral("No data selected!"));
        QVERIFY(LoadTranslatedString(999).isEmpty());
        InstallTranslationHooks();
        QCOMPARE(QString::fromStdString(UiString(IDS_STATUS)), QStringLiteral("Zustand:"));
        QCOMPARE(QString::fromStdString(UiText("&File")), QStringLiteral("&Datei"));
        SetTranslationHooks({}, {});
    }

    void messagesAreTranslatedAndAnswered()
    {
        QVERIFY(WriteLanguageCode("DEU"));
        QApplication::setApplicationName(QStringLiteral("Tessvale"));
        MessageBoxAnswerer answerer({QMessageBox::No, QMessageBox::Yes, QMessageBox::Ok});
        QCOMPARE(ShowMessage(kMbYesNo | kMbIconQuestion, QStringLiteral("Question?")), int(kAnswerNo));
        QCOMPARE(ShowMessage(nullptr, QStringLiteral("Start"), QStringLiteral("Settings"), kMbYesNo), int(kAnswerYes));
        QCOMPARE(ShowMessage(kMbOk, unsigned(IDS_STATUS)), int(kAnswerOk));
        QCOMPARE(answerer.texts,
                 (QStringList{QStringLiteral("Frage?"), QStringLiteral("Starten"), QStringLiteral("Zustand:")}));
        QCOMPARE(answerer.captions.at(0), QStringLiteral("Tessvale DE"));
        QCOMPARE(answerer.captions.at(1), QStringLiteral("Einstellungen"));
        QVERIFY(answerer.buttonTexts.at(0).contains(QStringLiteral("&Ja")));
        QVERIFY(answerer.buttonTexts.at(0).contains(QStringLiteral("&Nein")));
    }

    void languageListSelectsTheCurrentLanguage()
    {
        QVERIFY(WriteLanguageCode("FRA"));
        QComboBox combo;
        combo.addItem(QStringLiteral("stale"));
        FillLanguageList(&combo);
        QCOMPARE(combo.count(), 3);
        QCOMPARE(combo.currentText(), QString::fromUtf8("Fran\xC3\xA7"
                                                        "ais"));
        QVERIFY(WriteLanguageCode("XYZ"));
        FillLanguageList(&combo);
        QCOMPARE(combo.currentText(), QStringLiteral("English"));
    }

    void downloadWithOneFailingFileReportsFailure()
    {
        qputenv("no_proxy", "127.0.0.1,localhost");
        const std::string root = m_temp->File("server");
        std::filesystem::create_directories(root + "/tessvale/language");
        test::LocalHttpServer server({"--root", root});
        QVERIFY2(server.Running(), server.Error().c_str());
        const std::string base = server.BaseUrl();
        QVERIFY(test::WriteFile(root + "/tessvale/language/language.xml",
                                "<root><LANG ITEM=\"ENU\" VALUE=\"English\" URL=\"" + base +
                                    "/enu.ini\"/><LANG ITEM=\"DEU\" VALUE=\"Deutsch\" URL=\"" + base +
                                    "/deu.ini\"/><LANG ITEM=\"ITA\" VALUE=\"Italiano\" URL=\"" + base +
                                    "/ita.ini\"/></root>"));
        QVERIFY(test::WriteFile(root + "/enu.ini", "[Language]\n"));
        QVERIFY(test::WriteFile(root + "/deu.ini", "[Language]\nStart=Los\n"));
        qputenv("TESSVALE_LANGUAGE_SERVER", QByteArray::fromStdString(base));
        QVERIFY(WriteLanguageCode("DEU"));

        QComboBox combo;
        {
            MessageBoxAnswerer answerer({QMessageBox::No});
            QCOMPARE(DownloadLanguageFiles(&combo), 0);
            QCOMPARE(combo.count(), 0); // declined: nothing happened
        }
        {
            MessageBoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
            QCOMPARE(DownloadLanguageFiles(&combo), 0);
            QCOMPARE(answerer.texts.size(), 2);
            QCOMPARE(answerer.texts.at(1), QStringLiteral("Update language failed!"));
        }
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.itemText(1), QStringLiteral("Deutsch"));
        QCOMPARE(combo.currentText(), QStringLiteral("Deutsch"));
        QCOMPARE(Translated(QStringLiteral("Start")), QStringLiteral("Los"));

        QVERIFY(test::WriteFile(root + "/ita.ini", "[Language]\n"));
        {
            MessageBoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
            QCOMPARE(DownloadLanguageFiles(nullptr), 1);
            QCOMPARE(answerer.texts.at(1), QStringLiteral("Update language successfully!"));
        }
        qunsetenv("TESSVALE_LANGUAGE_SERVER");
    }

    void downloadRunsBesideTheWindowAndCanBeCancelled()
    {
        qputenv("no_proxy", "127.0.0.1,localhost");
        test::LocalHttpServer server;
        QVERIFY2(server.Running(), server.Error().c_str());
        // The language server trickles its list for a minute.
        qputenv("TESSVALE_LANGUAGE_SERVER", QByteArray::fromStdString(server.BaseUrl() + "/slow/60"));
        const std::string oldList = test::ReadFile(m_folder + "/Language.xml");
        MessageBoxAnswerer answerer({QMessageBox::Yes});
        int ticksWhileShown = 0;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, &watcher, [&ticksWhileShown] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* progress = qobject_cast<QProgressDialog*>(widget);
                if (progress == nullptr || !progress->isVisible() ||
                    progress->objectName() != QStringLiteral("languageDownloadProgress")) {
                    continue;
                }
                // The window thread runs this timer while the download goes on.
                if (++ticksWhileShown == 10) {
                    progress->findChild<QPushButton*>()->click();
                }
            }
        });
        watcher.start(50);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(DownloadLanguageFiles(nullptr), 0);
        watcher.stop();
        QVERIFY(ticksWhileShown >= 10);
        // Far below the minute the list would take; only the question was shown.
        QVERIFY(elapsed.elapsed() < 40000);
        QCOMPARE(answerer.texts.size(), 1);
        QCOMPARE(test::ReadFile(m_folder + "/Language.xml"), oldList);
        qunsetenv("TESSVALE_LANGUAGE_SERVER");
    }

private:
    std::unique_ptr<test::TempFolder> m_temp;
    std::string m_folder;
};

QTEST_MAIN(WindowTranslationTest)
#include "window_translation_test.moc"
