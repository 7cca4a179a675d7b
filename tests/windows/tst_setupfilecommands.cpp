// The File menu's set-up file commands through the main window: dialogs,
// questions, the title bar, the file name variables, and files that are
// hostile or cannot be written.

#include "MainWindowRig.h"
#include "shared/SetupFile.h"
#include "shared/SetupFileCommands.h"

#include <QDir>
#include <QFile>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kFilter = QStringLiteral("Setup Files(*.sdt)|*.sdt|");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeRaw(const QString& path, const QByteArray& data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

// A record as the current program writes it, with one value changed.
MachineData recordWith(int row, qint32 value, const QString& version)
{
    MachineData r = DefaultData;
    r.Version = version;
    r.ParamValue[row] = value;
    return r;
}

QString versionQuestionText(const QString& version)
{
    return QStringLiteral("File created by set-up program version: ") + version
        + QStringLiteral("\r\nData tables may not be properly aligned.\r\n\r\nDo you wish to continue?");
}

} // namespace

class tst_SetupFileCommands : public QObject
{
    Q_OBJECT

private slots:
    void saveAfterStartupIsSaveAs();
    void saveAsAddsTheExtension();
    void saveWritesCurrentFile();
    void failedSaveIsReported();
    void openSameVersion();
    void versionQuestion_data();
    void versionQuestion();
    void versionNoThenAnotherFile();
    void fileFromCommandLine();
    void hostileFiles_data();
    void hostileFiles();
    void cancelledOpenIsSilent();
    void openResizesTables();
    void newAndOpenWithChanges_data();
    void newAndOpenWithChanges();
};

void tst_SetupFileCommands::saveAfterStartupIsSaveAs()
{
    Rig rig;
    rig.showActive();
    rig.script().answerFile(std::nullopt);
    QTest::keyClick(rig.w.get(), Qt::Key_S, Qt::ControlModifier);

    auto calls = rig.script().calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].kind, PromptCall::Kind::SaveFile);
    QCOMPARE(calls[0].file.filter, kFilter);
    QVERIFY(calls[0].file.overwritePrompt);
    // Unnamed data: the dialog opens in the folder of the set-up files, with
    // no name proposed.
    QCOMPARE(calls[0].file.fileName, rig.dir.path() + QStringLiteral("/*.sdt"));
    QCOMPARE(calls[0].file.defaultExt, QStringLiteral("sdt"));
    // Cancelled: silent, nothing changed.
    QVERIFY(IsUntitled);
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [unnamed]"));
    QCOMPARE(rig.w->globals().gFileNamePath, rig.dir.path() + QStringLiteral("/*.sdt"));
    QVERIFY(rig.script().messages().isEmpty());

    const QString path = rig.dir.filePath(QStringLiteral("line3.sdt"));
    rig.script().answerFile(path);
    rig.w->mnuFileSave->trigger();
    const QByteArray file = readAll(path);
    QCOMPARE(ProgramVersion.size(), 13);
    QCOMPARE(file.size(), 325);
    QCOMPARE(file.left(2), QByteArray("\x0D\x00", 2));
    QCOMPARE(file.mid(2, 13), ProgramVersion.toLatin1());
    QVERIFY(!IsUntitled);
    QCOMPARE(rig.w->globals().gFileNamePath, path);
    QCOMPARE(rig.w->globals().gFileNameTitle, QStringLiteral("line3.sdt"));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [line3.sdt]"));
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_SetupFileCommands::saveAsAddsTheExtension()
{
    Rig rig;
    const QString path = rig.dir.filePath(QStringLiteral("no extension"));
    rig.script().answerFile(path);
    rig.w->mnuFileSaveAs->trigger();
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QFileInfo(path + QStringLiteral(".sdt")).isFile());
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [no extension.sdt]"));

    // The next Save As opens on the current file; a name with an extension
    // of its own is kept as typed.
    const QString other = rig.dir.filePath(QStringLiteral("line3.old"));
    rig.script().answerFile(other);
    rig.w->mnuFileSaveAs->trigger();
    QCOMPARE(rig.script().calls().at(1).file.fileName, path + QStringLiteral(".sdt"));
    QVERIFY(QFileInfo(other).isFile());
    QCOMPARE(rig.w->globals().gFileNamePath, other);
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_SetupFileCommands::saveWritesCurrentFile()
{
    Rig rig;
    const QString path = rig.dir.filePath(QStringLiteral("a.sdt"));
    rig.script().answerFile(path);
    rig.w->mnuFileSaveAs->trigger();

    CurrentData.ParamValue[10] = 300;
    CurrentData.OnSetpoint[2] = 99;
    QVERIFY(HasUnsavedChanges());
    rig.w->mnuFileSave->trigger(); // no dialog: the file has a name
    QCOMPARE(rig.script().calls().size(), 1);
    QVERIFY(!HasUnsavedChanges());

    MachineData back;
    QVERIFY(readSetupFile(path, back));
    QCOMPARE(back.ParamValue[10], 300);
    QCOMPARE(back.OnSetpoint[2], qint16(99));
    QCOMPARE(back.Version, ProgramVersion);
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [a.sdt]"));
}

void tst_SetupFileCommands::failedSaveIsReported()
{
    Rig rig;
    CurrentData.ParamValue[11] = 351;
    // A folder stands where the file should go.
    const QString path = rig.dir.filePath(QStringLiteral("taken.sdt"));
    QVERIFY(QDir().mkpath(path));
    rig.script().answerFile(path);
    rig.w->mnuFileSaveAs->trigger();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.startsWith(QStringLiteral("The set-up file could not be saved:\r\n") + path
                 + QStringLiteral("\r\n\r\n")),
        qPrintable(visibleBreaks(boxes[0].text)));
    QVERIFY(boxes[0].text.endsWith(QStringLiteral("\r\n\r\nThe data has not been saved.")));
    QCOMPARE(boxes[0].title, QStringLiteral("TALVEK"));
    QCOMPARE(boxes[0].icon, MsgIcon::Exclamation);
    // The data keeps its (lack of a) name and still counts as unsaved.
    QVERIFY(IsUntitled);
    QCOMPARE(rig.w->globals().gFileNamePath, rig.dir.path() + QStringLiteral("/*.sdt"));
    QVERIFY(rig.w->globals().gFileNameTitle.isEmpty());
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [unnamed]"));
    QVERIFY(HasUnsavedChanges());
    QCOMPARE(CurrentData.ParamValue[11], 351);
}

void tst_SetupFileCommands::openSameVersion()
{
    Rig rig;
    rig.showActive();
    const QString path = rig.dir.filePath(QStringLiteral("good.sdt"));
    QVERIFY(writeSetupFile(path, recordWith(10, 300, ProgramVersion)));
    DataReloaded = false;
    rig.script().answerFile(path);
    QTest::keyClick(rig.w.get(), Qt::Key_O, Qt::ControlModifier);

    const auto calls = rig.script().calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].kind, PromptCall::Kind::OpenFile);
    QCOMPARE(calls[0].file.filter, kFilter);
    QCOMPARE(calls[0].file.fileName, rig.dir.path() + QStringLiteral("/*.sdt"));
    QVERIFY(calls[0].file.fileMustExist);
    QCOMPARE(CurrentData.ParamValue[10], 300);
    QCOMPARE(SavedData, CurrentData);
    QVERIFY(!HasUnsavedChanges());
    QVERIFY(!IsUntitled);
    QVERIFY(DataReloaded);
    QCOMPARE(rig.w->globals().gFileNamePath, path);
    QCOMPARE(rig.w->globals().gFileNameTitle, QStringLiteral("good.sdt"));
    QVERIFY(!rig.w->globals().gUploadNOW.isEmpty());
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [good.sdt]"));

    // The next Open dialog starts at that file.
    rig.script().answerFile(std::nullopt);
    rig.w->mnuFileOpen->trigger();
    QCOMPARE(rig.script().calls().last().file.fileName, path);
}

void tst_SetupFileCommands::versionQuestion_data()
{
    QTest::addColumn<MsgResult>("answer");
    QTest::newRow("Yes accepts") << MsgResult::Yes;
    QTest::newRow("No asks for another file") << MsgResult::No;
    QTest::newRow("Cancel keeps the data") << MsgResult::Cancel;
}

void tst_SetupFileCommands::versionQuestion()
{
    QFETCH(MsgResult, answer);
    Rig rig;
    // A file of this version is open first.
    const QString first = rig.dir.filePath(QStringLiteral("first.sdt"));
    QVERIFY(writeSetupFile(first, recordWith(10, 260, ProgramVersion)));
    rig.script().answerFile(first);
    rig.w->mnuFileOpen->trigger();
    const QString firstOpenedAt = rig.w->globals().gUploadNOW;
    const MachineData before = CurrentData;

    // Then one whose version differs only in letter case.
    const QString other = rig.dir.filePath(QStringLiteral("other.sdt"));
    const QString version = ProgramVersion.toLower();
    QVERIFY(writeSetupFile(other, recordWith(10, 270, version)));
    rig.script().clear();
    DataReloaded = false;
    rig.script().answerFile(other);
    rig.script().answerMsg(answer);
    if (answer == MsgResult::No)
        rig.script().answerFile(std::nullopt); // the dialog comes again; cancelled
    rig.w->mnuFileOpen->trigger();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, versionQuestionText(version));
    QCOMPARE(boxes[0].title, QStringLiteral("TALVEK"));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    QCOMPARE(boxes[0].buttons, MsgButtons::YesNoCancel);
    int dialogs = 0;
    for (const auto& c : rig.script().calls())
        dialogs += c.kind == PromptCall::Kind::OpenFile;
    QCOMPARE(dialogs, answer == MsgResult::No ? 2 : 1);
    QVERIFY(DataReloaded);
    QVERIFY(rig.script().allAnswersUsed());

    const ShellGlobals& g = rig.w->globals();
    if (answer == MsgResult::Yes) {
        QCOMPARE(CurrentData.ParamValue[10], 270);
        QCOMPARE(CurrentData.Version, version);
        QVERIFY(HasUnsavedChanges()); // until saved with this version
        QCOMPARE(g.gFileNamePath, other);
        QCOMPARE(g.gFileNameTitle, QStringLiteral("other.sdt"));
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [other.sdt]"));
    } else {
        // The data shown and the names that go with it stay together.
        QCOMPARE(CurrentData, before);
        QVERIFY(!HasUnsavedChanges());
        QCOMPARE(g.gFileNamePath, first);
        QCOMPARE(g.gFileNameTitle, QStringLiteral("first.sdt"));
        QCOMPARE(g.gUploadNOW, firstOpenedAt);
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [first.sdt]"));
        // Save goes to the file whose data is shown.
        CurrentData.ParamValue[11] = 999;
        rig.w->mnuFileSave->trigger();
        MachineData back;
        QVERIFY(readSetupFile(first, back));
        QCOMPARE(back.ParamValue[11], 999);
        MachineData untouched;
        QVERIFY(readSetupFile(other, untouched));
        QCOMPARE(untouched.ParamValue[11], DefaultData.ParamValue[11]);
    }
}

void tst_SetupFileCommands::versionNoThenAnotherFile()
{
    Rig rig;
    const QString old = rig.dir.filePath(QStringLiteral("old.sdt"));
    const QString good = rig.dir.filePath(QStringLiteral("good.sdt"));
    QVERIFY(writeSetupFile(old, recordWith(10, 111, QStringLiteral("TALVEK_R0.9.0"))));
    QVERIFY(writeSetupFile(good, recordWith(10, 222, ProgramVersion)));
    rig.script().answerFile(old);
    rig.script().answerMsg(MsgResult::No);
    rig.script().answerFile(good);
    rig.w->mnuFileOpen->trigger();
    QCOMPARE(CurrentData.ParamValue[10], 222);
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [good.sdt]"));
    QCOMPARE(rig.script().messages().size(), 1);
    QVERIFY(rig.script().allAnswersUsed());
}

void tst_SetupFileCommands::fileFromCommandLine()
{
    // A file given on the command line (relative to the working folder) opens
    // without the file dialog; the questions are Open's own.
    Rig rig;
    const QString good = rig.dir.filePath(QStringLiteral("good.sdt"));
    QVERIFY(writeSetupFile(good, recordWith(10, 222, ProgramVersion)));
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(rig.dir.path()));
    const bool opened = rig.w->fileCommands().openFile(QStringLiteral("good.sdt"));
    QVERIFY(QDir::setCurrent(cwd));
    QVERIFY(opened);
    QCOMPARE(rig.script().calls().size(), 0);
    QCOMPARE(CurrentData.ParamValue[10], 222);
    QCOMPARE(rig.w->globals().gFileNamePath, good);
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [good.sdt]"));

    // No at the version question goes on with the Open dialog.
    const QString old = rig.dir.filePath(QStringLiteral("old.sdt"));
    QVERIFY(writeSetupFile(old, recordWith(10, 111, QStringLiteral("TALVEK_R0.9.0"))));
    rig.script().answerMsg(MsgResult::No);
    rig.script().answerFile(std::nullopt);
    QVERIFY(!rig.w->fileCommands().openFile(old));
    QCOMPARE(rig.script().calls().size(), 2);
    QCOMPARE(rig.script().calls()[0].text, versionQuestionText(QStringLiteral("TALVEK_R0.9.0")));
    QCOMPARE(rig.script().calls()[1].kind, PromptCall::Kind::OpenFile);
    QCOMPARE(CurrentData.ParamValue[10], 222);

    // A file that is not there says so and changes nothing.
    rig.script().clear();
    QVERIFY(!rig.w->fileCommands().openFile(rig.dir.filePath(QStringLiteral("missing.sdt"))));
    QCOMPARE(rig.script().messages().size(), 1);
    QVERIFY(
        rig.script().messages()[0].text.startsWith(QStringLiteral("The set-up file could not be opened:\r\n")
            + rig.dir.filePath(QStringLiteral("missing.sdt"))));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [good.sdt]"));
}

void tst_SetupFileCommands::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // written to the chosen file
    QTest::addColumn<QString>("kind"); // "file", "folder" or "missing"

    QByteArray image;
    resetMachineDataGlobals();
    InitMachineData(1, 0, 0);
    QVERIFY(encodeSetupRecord(DefaultData, image));
    resetMachineDataGlobals();

    QTest::newRow("empty file") << QByteArray() << "file";
    QTest::newRow("one byte") << QByteArray("\x0D", 1) << "file";
    QTest::newRow("record cut short by one byte") << image.left(image.size() - 1) << "file";
    QTest::newRow("version longer than the file") << QByteArray("\xFF\xFF"
                                                                "abc",
        5) << "file";
    QByteArray huge = image.left(2 + 13);
    huge += QByteArray("\x01\x00"
                       "\xFF\xFF\xFF\x7F"
                       "\x00\x00\x00\x00",
        10); // 2^31-1 rows
    QTest::newRow("table claims 2^31 rows") << huge << "file";
    QByteArray twoDims = image.left(2 + 13);
    twoDims += QByteArray("\x02\x00"
                          "\x12\x00\x00\x00"
                          "\x00\x00\x00\x00",
        10);
    QTest::newRow("two-dimensional table") << twoDims + image.mid(25) << "file";
    QTest::newRow("a folder") << QByteArray() << "folder";
    QTest::newRow("file gone") << QByteArray() << "missing";
}

void tst_SetupFileCommands::hostileFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, kind);
    Rig rig;
    const QString first = rig.dir.filePath(QStringLiteral("first.sdt"));
    QVERIFY(writeSetupFile(first, recordWith(10, 260, ProgramVersion)));
    rig.script().answerFile(first);
    rig.w->mnuFileOpen->trigger();
    const MachineData before = CurrentData;
    const ShellGlobals g = rig.w->globals();
    rig.script().clear();
    DataReloaded = false;

    const QString path = rig.dir.filePath(QStringLiteral("bad.sdt"));
    if (kind == QLatin1String("file"))
        QVERIFY(writeRaw(path, content));
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    rig.script().answerFile(path);
    rig.w->mnuFileOpen->trigger();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    const QString head
        = QStringLiteral("The set-up file could not be opened:\r\n") + path + QStringLiteral("\r\n\r\n");
    const QString tail = QStringLiteral("\r\n\r\nThe data shown has not been changed.");
    QVERIFY2(boxes[0].text.startsWith(head) && boxes[0].text.endsWith(tail),
        qPrintable(visibleBreaks(boxes[0].text)));
    // A reason between the two.
    QVERIFY(boxes[0].text.size() > head.size() + tail.size() + 5);
    QCOMPARE(boxes[0].title, QStringLiteral("TALVEK"));
    QCOMPARE(boxes[0].buttons, MsgButtons::OK);

    QCOMPARE(CurrentData, before);
    QCOMPARE(SavedData, before);
    QVERIFY(!IsUntitled);
    QCOMPARE(rig.w->globals().gFileNamePath, g.gFileNamePath);
    QCOMPARE(rig.w->globals().gFileNameTitle, g.gFileNameTitle);
    QCOMPARE(rig.w->globals().gUploadNOW, g.gUploadNOW);
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [first.sdt]"));
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_SetupFileCommands::cancelledOpenIsSilent()
{
    Rig rig;
    DataReloaded = false;
    rig.script().answerFile(std::nullopt);
    rig.w->mnuFileOpen->trigger();
    QCOMPARE(rig.script().calls().size(), 1);
    QVERIFY(rig.script().messages().isEmpty());
    QVERIFY(!DataReloaded);
    QVERIFY(IsUntitled);
    QCOMPARE(CurrentData, DefaultData);
}

void tst_SetupFileCommands::openResizesTables()
{
    Rig rig;
    MachineData wide = DefaultData;
    for (int row = 18; row < 20; ++row) {
        wide.ParamAddress.append(QStringLiteral("W%1").arg(2000 + row));
        wide.ParamValue.append(row);
    }
    wide.ParamValue[17] = 17;
    MachineData narrow = DefaultData;
    narrow.resizeTables(9);
    const QString widePath = rig.dir.filePath(QStringLiteral("wide.sdt"));
    const QString narrowPath = rig.dir.filePath(QStringLiteral("narrow.sdt"));
    QVERIFY(writeSetupFile(widePath, wide));
    QVERIFY(writeSetupFile(narrowPath, narrow));

    rig.script().answerFile(widePath);
    rig.w->mnuFileOpen->trigger();
    QCOMPARE(CurrentData.ParamValue.size(), 18);
    QCOMPARE(CurrentData.ParamAddress.size(), 18);
    QCOMPARE(CurrentData.ParamValue[17], 17);

    rig.script().answerFile(narrowPath);
    rig.w->mnuFileOpen->trigger();
    QCOMPARE(CurrentData.ParamValue.size(), 18);
    for (int row = 10; row <= 17; ++row) {
        QCOMPARE(CurrentData.ParamAddress[row], QString());
        QCOMPARE(CurrentData.ParamValue[row], 0);
    }
    QCOMPARE(CurrentData.ParamAddress[9], QStringLiteral("W1024"));
    QCOMPARE(rig.script().messages().size(), 0);
}

void tst_SetupFileCommands::newAndOpenWithChanges_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<MsgResult>("answer");
    QTest::addColumn<bool>("saveAsChosen"); // for Yes: the Save As dialog names a file
    QTest::addColumn<bool>("goesOn"); // New replaces the data / Open shows its dialog

    for (const char* command : { "New", "Open" }) {
        const QString c = QString::fromLatin1(command);
        QTest::addRow("%s, Cancel", command) << c << MsgResult::Cancel << false << false;
        QTest::addRow("%s, No", command) << c << MsgResult::No << false << true;
        QTest::addRow("%s, Yes, saved", command) << c << MsgResult::Yes << true << true;
        QTest::addRow("%s, Yes, Save As cancelled", command) << c << MsgResult::Yes << false << false;
    }
}

void tst_SetupFileCommands::newAndOpenWithChanges()
{
    QFETCH(QString, command);
    QFETCH(MsgResult, answer);
    QFETCH(bool, saveAsChosen);
    QFETCH(bool, goesOn);
    Rig rig;
    CurrentData.ParamValue[10] = 300;
    const MachineData changed = CurrentData;
    const QString savePath = rig.dir.filePath(QStringLiteral("saved.sdt"));
    const bool isNew = command == QLatin1String("New");

    rig.script().answerMsg(answer);
    if (answer == MsgResult::Yes)
        rig.script().answerFile(saveAsChosen ? std::optional<QString>(savePath) : std::nullopt);
    if (!isNew && goesOn)
        rig.script().answerFile(std::nullopt); // the Open dialog, cancelled
    DataReloaded = false;
    (isNew ? rig.w->mnuFileNew : rig.w->mnuFileOpen)->trigger();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Save Changes to File?"));
    QVERIFY(rig.script().allAnswersUsed());
    QCOMPARE(rig.script().unexpected(), 0);
    int openDialogs = 0;
    for (const auto& c : rig.script().calls())
        openDialogs += c.kind == PromptCall::Kind::OpenFile;
    QCOMPARE(openDialogs, !isNew && goesOn ? 1 : 0);
    QCOMPARE(QFileInfo::exists(savePath), saveAsChosen);

    if (isNew && goesOn) {
        QCOMPARE(CurrentData, DefaultData);
        QVERIFY(IsUntitled);
        QVERIFY(DataReloaded);
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [unnamed]"));
        // New keeps the file name variables.
        if (saveAsChosen) {
            QCOMPARE(rig.w->globals().gFileNamePath, savePath);
            QCOMPARE(rig.w->globals().gFileNameTitle, QStringLiteral("saved.sdt"));
        }
    } else {
        QCOMPARE(CurrentData.ParamValue, changed.ParamValue);
        QCOMPARE(rig.w->windowTitle(),
            saveAsChosen ? QStringLiteral("TALVEK - [saved.sdt]") : QStringLiteral("TALVEK - [unnamed]"));
        QCOMPARE(HasUnsavedChanges(), !saveAsChosen);
    }
}

QTEST_MAIN(tst_SetupFileCommands)
#include "tst_setupfilecommands.moc"
