// The small pieces of the shell: form helpers, the prompter's text and filter
// conversions, the wait display and the shipped operator help.

#include "ScriptedPrompter.h"
#include "windows/FormUtility.h"
#include "windows/frmWaitDisplay.h"
#include "windows/HelpViewer.h"
#include "windows/QtPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <memory>

using namespace talvek;
using namespace talvek::test;

namespace {

// The operator help as it ships beside the program.
QString shippedHelp()
{
    // ctest names the program folder through the simulator's path; run by
    // hand, the tests sit in <build>/tests beside <build>/bin.
    const QString sim = qEnvironmentVariable("TALVEK_SIM_BIN");
    const QString bin = sim.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")
                                      : QFileInfo(sim).absolutePath();
    return QDir::cleanPath(bin + QStringLiteral("/Help/TALVEK.html"));
}

// Runs `action` on the modal dialog the code under test opens next.
// The prompter lets queued events run before its box is up, so the action
// waits until the dialog is there (and gives up after many turns).
template <typename Dialog> void onNextDialog(std::function<void(Dialog*)> action)
{
    auto* poll = new QTimer;
    auto turns = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, turns, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog && ++*turns < 10000)
            return;
        poll->stop();
        poll->deleteLater();
        QVERIFY2(dialog, "no dialog of the expected kind");
        action(dialog);
    });
    poll->start(0);
}

} // namespace

class tst_ShellParts : public QObject
{
    Q_OBJECT

private slots:
    void keyQueuedBeforeTheBoxDoesNotAnswerIt();
    void nulIdentShownEmpty();
    void centerForm();
    void selectAllText();
    void lineBreaks_data();
    void lineBreaks();
    void nameFilters_data();
    void nameFilters();
    void waitDisplay_data();
    void waitDisplay();
    void shippedHelpDocument();
    void qtMessageBox_data();
    void qtMessageBox();
    void qtMessageBoxEnterAnswersTheDefault();
    void tabbedMessageLinesUpInColumns();
    void qtInputBox();
    void qtOpenFileDialog();
};

void tst_ShellParts::centerForm()
{
    QWidget form;
    form.resize(300, 200);
    form.show();
    CenterForm(&form);
    const QRect screen = form.screen()->geometry();
    const QSize size = form.frameGeometry().size();
    QCOMPARE(form.frameGeometry().topLeft(),
        QPoint(screen.left() + (screen.width() - size.width()) / 2,
            screen.top() + (screen.height() - size.height()) / 2));
    CenterForm(nullptr); // harmless
}

void tst_ShellParts::selectAllText()
{
    QLineEdit box(QStringLiteral("250"));
    box.setCursorPosition(1);
    SelectAllText(&box);
    QCOMPARE(box.selectionStart(), 0);
    QCOMPARE(box.selectedText(), QStringLiteral("250"));
    box.setText(QString());
    SelectAllText(&box);
    QVERIFY(box.selectedText().isEmpty());
}

void tst_ShellParts::lineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CR LF") << "a\r\nb"
                           << "a\nb";
    QTest::newRow("CR") << "Error:\rEntry"
                        << "Error:\nEntry";
    QTest::newRow("CR LF CR LF") << "a\r\n\r\nb"
                                 << "a\n\nb";
    QTest::newRow("LF kept") << "a\nb"
                             << "a\nb";
    QTest::newRow("mixed") << "a\r\rb\r\n"
                           << "a\n\nb\n";
}

void tst_ShellParts::lineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(qtLineBreaks(text), expected);
}

void tst_ShellParts::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("set-up files") << "Setup Files(*.sdt)|*.sdt|" << QStringList { "Setup Files(*.sdt)" };
    QTest::newRow("text files") << "Text Files(*.txt)|*.txt|" << QStringList { "Text Files(*.txt)" };
    QTest::newRow("description without pattern")
        << "Program Files|*.nvk|All Files|*.*" << QStringList { "Program Files (*.nvk)", "All Files (*.*)" };
    QTest::newRow("several patterns")
        << "Programs (*.nvk;*.hex)|*.nvk;*.hex" << QStringList { "Programs (*.nvk;*.hex) (*.nvk *.hex)" };
    QTest::newRow("empty") << "" << QStringList {};
    QTest::newRow("pattern missing") << "Setup Files|" << QStringList {};
}

void tst_ShellParts::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(qtNameFilters(filter), expected);
}

void tst_ShellParts::waitDisplay_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reports");
    QTest::newRow("report") << 1 << "Generating Report, Please Standby ..." << 1;
    QTest::newRow("standby only") << 0 << "Please Standby ..." << 0;
    QTest::newRow("other code") << 2 << "Please Standby ..." << 0;
}

void tst_ShellParts::waitDisplay()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(int, reports);
    int produced = 0;
    bool shown = false;
    QString textWhileReporting;
    frmWaitDisplay window(mode, [&] {
        ++produced;
        shown = window.isVisible();
        textWhileReporting = window.lblWaitDisplay->text();
    });
    QCOMPARE(window.lblWaitDisplay->text(), QStringLiteral("Please Standby ..."));
    QCOMPARE(window.fraWaitDisplay->objectName(), QStringLiteral("fraWaitDisplay"));
    QCOMPARE(frmWaitDisplay::waitText(mode), text);
    window.run();
    QCOMPARE(window.lblWaitDisplay->text(), text);
    QCOMPARE(produced, reports);
    QVERIFY(!window.isVisible());
    // While the report runs the window is up with its text.
    if (reports) {
        QVERIFY(shown);
        QCOMPARE(textWhileReporting, text);
    }
}

void tst_ShellParts::shippedHelpDocument()
{
    const QString path = shippedHelp();
    QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));

    // The help viewer shows it, and every window of the program has its topic.
    HelpViewer viewer;
    viewer.openDocument(path);
    QVERIFY(viewer.isVisible());
    QTextDocument* doc = viewer.browser()->document();
    QCOMPARE(doc->metaInformation(QTextDocument::DocumentTitle), QStringLiteral("TALVEK Help"));
    const QString text = doc->toPlainText();
    for (const char* topic : { "Main Display", "Set-up Parameters", "Serial Communications", "Machine Timing",
             "Shift Data", "I/O States", "ONLINE and OFFLINE", "Set-up data files",
             "Connecting to the controller", "Save Changes to File?" })
        QVERIFY2(text.contains(QString::fromLatin1(topic)), topic);

    // Where the settings are, for an installed and a portable copy; the udev
    // rule it names is the one that ships.
    QVERIFY(text.contains(QStringLiteral("~/.config/TALVEK/support/RSPort.cfg")));
    QVERIFY(text.contains(QStringLiteral("keeps them in its own support folder, beside the program")));
    QVERIFY(text.contains(QStringLiteral("installs it in /usr/lib/udev/rules.d")));
    static const QRegularExpression rule(QStringLiteral("[0-9]{2}-talvek-[a-z-]+\\.rules"));
    int rules = 0;
    for (auto it = rule.globalMatch(text); it.hasNext(); ++rules) {
        const QString name = it.next().captured(0);
        const QString shipped = QFileInfo(path).absolutePath() + QStringLiteral("/../udev/") + name;
        QVERIFY2(QFileInfo(shipped).isFile(), qPrintable(name));
    }
    QVERIFY(rules >= 1);

    // Every link inside the document leads to an anchor that exists.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    static const QRegularExpression link(QStringLiteral("href=\"#([a-z0-9]+)\""));
    int links = 0;
    for (auto it = link.globalMatch(html); it.hasNext(); ++links) {
        const QString anchor = it.next().captured(1);
        QVERIFY2(html.contains(QStringLiteral("name=\"%1\"").arg(anchor)), qPrintable(anchor));
    }
    QVERIFY(links >= 15);

    // Following a link and coming back.
    viewer.browser()->setSource(QUrl::fromLocalFile(path + QStringLiteral("#files")));
    QVERIFY(viewer.browser()->isBackwardAvailable());
    viewer.browser()->home();
    QCOMPARE(viewer.browser()->source().fileName(), QStringLiteral("TALVEK.html"));
}

void tst_ShellParts::qtMessageBox_data()
{
    QTest::addColumn<MsgButtons>("buttons");
    QTest::addColumn<QStringList>("labels"); // the buttons, left to right as standard buttons
    QTest::addColumn<int>("press"); // index into labels
    QTest::addColumn<MsgResult>("result");
    QTest::newRow("OK") << MsgButtons::OK << QStringList { "OK" } << 0 << MsgResult::OK;
    QTest::newRow("Yes/No/Cancel: No")
        << MsgButtons::YesNoCancel << QStringList { "Yes", "No", "Cancel" } << 1 << MsgResult::No;
    QTest::newRow("Yes/No/Cancel: Cancel")
        << MsgButtons::YesNoCancel << QStringList { "Yes", "No", "Cancel" } << 2 << MsgResult::Cancel;
    QTest::newRow("Yes/No: Yes") << MsgButtons::YesNo << QStringList { "Yes", "No" } << 0 << MsgResult::Yes;
    QTest::newRow("Retry/Cancel: Retry")
        << MsgButtons::RetryCancel << QStringList { "Retry", "Cancel" } << 0 << MsgResult::Retry;
    QTest::newRow("OK/Cancel: Cancel")
        << MsgButtons::OKCancel << QStringList { "OK", "Cancel" } << 1 << MsgResult::Cancel;
    QTest::newRow("Abort/Retry/Ignore: Ignore")
        << MsgButtons::AbortRetryIgnore << QStringList { "Abort", "Retry", "Ignore" } << 2
        << MsgResult::Ignore;
    QTest::newRow("Yes/No/Cancel: closed")
        << MsgButtons::YesNoCancel << QStringList { "Yes", "No", "Cancel" } << -1 << MsgResult::Cancel;
}

void tst_ShellParts::qtMessageBox()
{
    QFETCH(MsgButtons, buttons);
    QFETCH(QStringList, labels);
    QFETCH(int, press);
    QFETCH(MsgResult, result);
    QtPrompter prompter;
    QString text;
    QString title;
    QStringList seen;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool firstIsDefault = false;
    onNextDialog<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen << QString(b->text()).remove(QLatin1Char('&'));
        // The first button of the set is the default, as Enter answers it.
        firstIsDefault = box->defaultButton()
            && QString(box->defaultButton()->text()).remove(QLatin1Char('&')) == labels[0];
        if (press < 0) {
            box->reject();
            return;
        }
        for (QAbstractButton* b : box->buttons())
            if (QString(b->text()).remove(QLatin1Char('&')) == labels[press])
                b->click();
    });
    const MsgResult answer = prompter.msgBox(
        QStringLiteral("Error:\rEntry\r\nnext"), QStringLiteral("ENTRY ALERT"), MsgIcon::Critical, buttons);
    QCOMPARE(answer, result);
    QCOMPARE(text, QStringLiteral("Error:\nEntry\nnext"));
    QCOMPARE(title, QStringLiteral("ENTRY ALERT"));
    QCOMPARE(icon, QMessageBox::Critical);
    seen.sort();
    QStringList expected = labels;
    expected.sort();
    QCOMPARE(seen, expected);
    QVERIFY(firstIsDefault);
}

void tst_ShellParts::qtMessageBoxEnterAnswersTheDefault()
{
    QtPrompter prompter;
    for (const MsgButtons buttons : { MsgButtons::YesNo, MsgButtons::YesNoCancel }) {
        QString defaultLabel;
        onNextDialog<QMessageBox>([&](QMessageBox* box) {
            if (box->defaultButton())
                defaultLabel = QString(box->defaultButton()->text()).remove(QLatin1Char('&'));
            QTest::keyClick(box, Qt::Key_Return);
        });
        const MsgResult answer = prompter.msgBox(QStringLiteral("You are about to Download Data to the PLC"),
            QStringLiteral("Data Download"), MsgIcon::Question, buttons, MsgDefault::Button2);
        QCOMPARE(defaultLabel, QStringLiteral("No"));
        QCOMPARE(answer, MsgResult::No);
    }
}

// A key typed while the program was busy (here queued before the box) is
// delivered, as the window system would, to whatever is active when it is
// processed. It is thrown away: only the key pressed while the box is on
// screen answers it (Escape: Cancel, not the default Retry).
void tst_ShellParts::keyQueuedBeforeTheBoxDoesNotAnswerIt()
{
    QtPrompter prompter;
    QWidget window;
    auto* field = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    QMetaObject::invokeMethod(
        qApp,
        [] {
            QWidget* target = QApplication::activeModalWidget();
            if (!target)
                target = QApplication::focusWidget();
            if (target)
                QTest::keyClick(target, Qt::Key_Return);
        },
        Qt::QueuedConnection);
    bool shown = false;
    onNextDialog<QMessageBox>([&](QMessageBox* box) {
        shown = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    const MsgResult answer = prompter.msgBox(QStringLiteral("Cannot Communicate with Target Board."),
        QStringLiteral("WARNING - Communication Error!"), MsgIcon::Exclamation, MsgButtons::RetryCancel);
    QVERIFY(shown);
    QCOMPARE(answer, MsgResult::Cancel);
    QCOMPARE(field->text(), QString()); // nor did it reach the window below
}

// A program ident of eight NUL bytes (uploaded from a board without one) is
// shown as empty, in the text and in the title, not as eight boxes.
void tst_ShellParts::nulIdentShownEmpty()
{
    QtPrompter prompter;
    const QString nuls(8, QChar(0));
    QString text;
    QString title;
    onNextDialog<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        box->reject();
    });
    prompter.msgBox(QStringLiteral("Program to be loaded into module (on disk):\r\n  Program Ident: \t\t") + nuls
            + QStringLiteral("\r\n\r\nDo You Wish to Continue?\r\n"),
        QStringLiteral("Program Download - [") + nuls + QStringLiteral("]"), MsgIcon::Question,
        MsgButtons::YesNoCancel);
    QCOMPARE(title, QStringLiteral("Program Download - []"));
    QVERIFY(text.contains(QStringLiteral("Program Ident:</td><td></td>")));
    QVERIFY(!text.contains(QChar(0)));
}

void tst_ShellParts::tabbedMessageLinesUpInColumns()
{
    // The ident comparison's layout: captions and values in two columns,
    // whatever number of tabs each line was given for one particular font.
    const QString text = QStringLiteral("Program to be loaded into module (on disk):\r\n"
                                        "  Program Ident: \t\tPRESS 1\r\n"
                                        "  Program Checksum: \t<3>\r\n\r\nDo You Wish to Continue?\r\n");
    QCOMPARE(qtTabColumns(text),
        QStringLiteral("<div>Program to be loaded into module (on disk):</div>"
                       "<table cellspacing=\"0\" cellpadding=\"1\">"
                       "<tr><td style=\"padding-left:16px; padding-right:16px\">Program Ident:</td>"
                       "<td>PRESS 1</td></tr>"
                       "<tr><td style=\"padding-left:16px; padding-right:16px\">Program Checksum:</td>"
                       "<td>&lt;3&gt;</td></tr></table>"
                       "<div>&nbsp;</div><div>Do You Wish to Continue?</div><div>&nbsp;</div>"));
    QVERIFY(qtTabColumns(QStringLiteral("No tab\r\nhere")).isEmpty());
}

void tst_ShellParts::qtInputBox()
{
    QtPrompter prompter;
    QString label;
    QString proposed;
    onNextDialog<QInputDialog>([&](QInputDialog* dialog) {
        label = dialog->labelText();
        proposed = dialog->textValue();
        dialog->setTextValue(QStringLiteral("4321"));
        dialog->accept();
    });
    const auto entered = prompter.inputBox(QStringLiteral("Please Enter New Passcode (0-65535)"),
        QStringLiteral("Keypad Set-up Passcode"), QStringLiteral("1234"));
    QCOMPARE(entered, std::optional<QString>(QStringLiteral("4321")));
    QCOMPARE(label, QStringLiteral("Please Enter New Passcode (0-65535)"));
    QCOMPARE(proposed, QStringLiteral("1234"));

    onNextDialog<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    QCOMPARE(prompter.inputBox(QStringLiteral("p"), QStringLiteral("t"), QString()), std::nullopt);
}

void tst_ShellParts::qtOpenFileDialog()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("line3.sdt"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QtPrompter prompter;
    FileDialogRequest request;
    request.title = QStringLiteral("Open");
    request.filter = QStringLiteral("Setup Files(*.sdt)|*.sdt|");
    request.fileName = dir.path() + QStringLiteral("/*.sdt"); // lists the folder's set-up files
    request.fileMustExist = true;

    QString directory;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    onNextDialog<QFileDialog>([&](QFileDialog* dialog) {
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        mode = dialog->fileMode();
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();
    });
    QCOMPARE(prompter.openFileName(request), std::optional<QString>(file));
    QCOMPARE(directory, QDir(dir.path()).absolutePath());
    QCOMPARE(filters, QStringList { QStringLiteral("Setup Files(*.sdt)") });
    QCOMPARE(mode, QFileDialog::ExistingFile);

    onNextDialog<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QCOMPARE(prompter.saveFileName(request), std::nullopt);
}

QTEST_MAIN(tst_ShellParts)
#include "tst_shellparts.moc"
