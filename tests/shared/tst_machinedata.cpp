#include "shared/MachineData.h"

#include <QTest>

using namespace talvek;

class tst_MachineData final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startUpRows_data();
    void startUpRows();
    void startUpRecord();
    void programVersionFromBuild();
    void resetGlobals();
    void unsavedChanges_data();
    void unsavedChanges();
    void deepCopy();
    void resizeTables();
    void valueText_data();
    void valueText();
    void valueFromText_data();
    void valueFromText();
    void plsUpload();
    void plsScaleAndOffsetText_data();
    void plsScaleAndOffsetText();
    void plsDownloadList();
    void emptyChannels();
};

void tst_MachineData::init()
{
    resetMachineDataGlobals();
    InitMachineData(1, 2, 3);
}

void tst_MachineData::startUpRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("value");

    const struct
    {
        const char* address;
        int value;
    } rows[] = { { "D1100", 0 }, { "W1104", 0 }, { "D1200", 0 }, { "W1204", 0 }, { "W1040", 0 },
        { "W1042", 0 }, { "B1018.0", 0 }, { "W1020", 0 }, { "W1022", 0 }, { "W1024", 300 }, { "W1026", 250 },
        { "W1028", 350 }, { "W1032", 375 }, { "W1034", 250 }, { "W1036", 20 }, { "B4001.0", 0 },
        { "B4050", 1 }, { "B4011", 10 } };
    for (int row = 0; row < 18; ++row) {
        QTest::addRow("row %d", row) << row << QString::fromLatin1(rows[row].address) << rows[row].value;
    }
}

void tst_MachineData::startUpRows()
{
    QFETCH(int, row);
    QFETCH(QString, address);
    QFETCH(int, value);
    for (const MachineData* data : { &DefaultData, &CurrentData, &SavedData }) {
        QCOMPARE(data->ParamAddress.size(), 18);
        QCOMPARE(data->ParamValue.size(), 18);
        QCOMPARE(data->ParamAddress[row], address);
        QCOMPARE(data->ParamValue[row], value);
    }
    // Tables that show rows find each row by its register.
    const QByteArray text = address.toLatin1();
    QCOMPARE(paramRowOf(reg::Register { text.constData() }), row);
    QCOMPARE(paramRowOf(reg::kMachineSpeed), -1);
}

void tst_MachineData::startUpRecord()
{
    QCOMPARE(ParamCount, qint16(17));
    QCOMPARE(ProgramVersion, QStringLiteral("TALVEK_R1.2.3"));
    QCOMPARE(DefaultData.Version, QStringLiteral("TALVEK_R1.2.3"));
    QCOMPARE(DefaultData.PlsChannelCount, qint16(16));
    QCOMPARE(DefaultData.PlsScaleFactor, qint16(360));
    QCOMPARE(DefaultData.PlsOffset, qint16(0));
    QCOMPARE(DefaultData.PlsProgram, qint16(0));
    QCOMPARE(DefaultData.SpeedCompensation, (std::array<qint16, 8> {}));
    const std::array<qint16, 16> on { 150, 180, 155, 110, 230, 150, 120, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    const std::array<qint16, 16> off { 170, 200, 175, 130, 300, 200, 190, 20, 0, 0, 0, 0, 0, 0, 0, 0 };
    QCOMPARE(DefaultData.OnSetpoint, on);
    QCOMPARE(DefaultData.OffSetpoint, off);
    QVERIFY(CurrentData == DefaultData);
    QVERIFY(SavedData == DefaultData);
    QVERIFY(IsUntitled);
    QVERIFY(!HasUnsavedChanges());
    QVERIFY(!OfflineEditing);
    QVERIFY(!DataReloaded);
    QVERIFY(!TimingDownloaded);
    QCOMPARE(TransferType, qint16(0));
    QVERIFY(FileData == MachineData());

    const char* names[]
        = { "BDC (High) Timing", "BDC (Low) Timing", "Short Can Check Timing", "Sensor Check Timing",
              "Cupfeed Timing", "Air Strip (Low) Timing", "Air Strip (High) Timing", "PLC Timing" };
    for (int ch = 0; ch < 8; ++ch)
        QCOMPARE(timingChannelName(ch), QString::fromLatin1(names[ch]));
    for (int ch : { 8, 15, -1, 16 })
        QCOMPARE(timingChannelName(ch), QString());
}

void tst_MachineData::programVersionFromBuild()
{
    resetMachineDataGlobals();
    InitMachineData();
    const QString expected = QStringLiteral("TALVEK_R%1.%2.%3")
                                 .arg(TALVEK_VERSION_MAJOR)
                                 .arg(TALVEK_VERSION_MINOR)
                                 .arg(TALVEK_VERSION_PATCH);
    QCOMPARE(ProgramVersion, expected);
    QCOMPARE(CurrentData.Version, expected);
    QVERIFY(!HasUnsavedChanges());
    QCOMPARE(makeProgramVersion(10, 0, 7), QStringLiteral("TALVEK_R10.0.7"));
}

void tst_MachineData::resetGlobals()
{
    CurrentData.ParamValue[3] = 9;
    OfflineEditing = true;
    DataReloaded = true;
    TimingDownloaded = true;
    TransferType = 14;
    FileData.Version = QStringLiteral("x");
    resetMachineDataGlobals();
    QCOMPARE(ParamCount, qint16(0));
    QVERIFY(ProgramVersion.isEmpty());
    for (const MachineData* data : { &CurrentData, &SavedData, &DefaultData, &FileData })
        QVERIFY(*data == MachineData());
    QVERIFY(!OfflineEditing);
    QVERIFY(!IsUntitled);
    QVERIFY(!DataReloaded);
    QVERIFY(!TimingDownloaded);
    QCOMPARE(TransferType, qint16(0));
    // The names are views of the one store.
    CurrentData.PlsOffset = 5;
    QCOMPARE(machineDataStore().CurrentData.PlsOffset, qint16(5));
}

void tst_MachineData::unsavedChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("unsaved");

    QTest::newRow("value row 0") << QStringLiteral("value 0") << true;
    QTest::newRow("value row 5") << QStringLiteral("value 5") << true;
    QTest::newRow("value row 6") << QStringLiteral("value 6") << true;
    QTest::newRow("value row 17") << QStringLiteral("value 17") << true;
    QTest::newRow("value changed back") << QStringLiteral("value back") << false;
    QTest::newRow("on channel 0") << QStringLiteral("on 0") << true;
    QTest::newRow("on channel 7") << QStringLiteral("on 7") << true;
    QTest::newRow("off channel 0") << QStringLiteral("off 0") << true;
    QTest::newRow("off channel 7") << QStringLiteral("off 7") << true;
    // Everything the set-up file keeps counts: a timing upload changes
    // only the PLS part, and Exit, New or Open must not lose it unasked.
    QTest::newRow("on channel 8") << QStringLiteral("on 8") << true;
    QTest::newRow("on channel 15") << QStringLiteral("on 15") << true;
    QTest::newRow("off channel 8") << QStringLiteral("off 8") << true;
    QTest::newRow("off channel 15") << QStringLiteral("off 15") << true;
    QTest::newRow("speed compensation") << QStringLiteral("speed") << true;
    QTest::newRow("channel count") << QStringLiteral("count") << true;
    QTest::newRow("scale factor") << QStringLiteral("scale") << true;
    QTest::newRow("offset") << QStringLiteral("offset") << true;
    QTest::newRow("program") << QStringLiteral("program") << true;
    QTest::newRow("address") << QStringLiteral("address") << false;
    QTest::newRow("current version") << QStringLiteral("version") << true;
    QTest::newRow("saved version only") << QStringLiteral("saved version") << false;
    QTest::newRow("current row missing") << QStringLiteral("short table") << true;
    QTest::newRow("extra row beyond ParamCount") << QStringLiteral("long table") << false;
}

void tst_MachineData::unsavedChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, unsaved);

    const QStringList words = change.split(u' ');
    const int n = words.size() > 1 ? words[1].toInt() : 0;
    if (words[0] == u"value" && words[1] == u"back") {
        CurrentData.ParamValue[9] = 1;
        CurrentData.ParamValue[9] = 300;
    } else if (words[0] == u"value") {
        CurrentData.ParamValue[n] += 1;
    } else if (words[0] == u"on") {
        CurrentData.OnSetpoint[std::size_t(n)] += 1;
    } else if (words[0] == u"off") {
        CurrentData.OffSetpoint[std::size_t(n)] += 1;
    } else if (change == u"speed") {
        CurrentData.SpeedCompensation[3] = 12;
    } else if (change == u"count") {
        CurrentData.PlsChannelCount = 8;
    } else if (change == u"scale") {
        CurrentData.PlsScaleFactor = 720;
    } else if (change == u"offset") {
        CurrentData.PlsOffset = 33;
    } else if (change == u"program") {
        CurrentData.PlsProgram = 2;
    } else if (change == u"address") {
        CurrentData.ParamAddress[10] = QStringLiteral("W2000");
    } else if (change == u"version") {
        CurrentData.Version = QStringLiteral("talvek_r1.2.3");
    } else if (change == u"saved version") {
        SavedData.Version = QStringLiteral("TALVEK_R0.9.0");
    } else if (change == u"short table") {
        CurrentData.ParamValue.resize(17);
    } else if (change == u"long table") {
        CurrentData.ParamValue.append(5);
        CurrentData.ParamAddress.append(QStringLiteral("W9"));
    } else {
        QFAIL("unknown change");
    }
    QCOMPARE(HasUnsavedChanges(), unsaved);
}

void tst_MachineData::deepCopy()
{
    MachineData copy = CurrentData;
    copy.Version[0] = u'X';
    copy.ParamAddress[0] = QStringLiteral("W1");
    copy.ParamAddress[1][0] = u'D';
    copy.ParamValue[9] = 1;
    copy.ParamValue.append(99);
    copy.SpeedCompensation[0] = 7;
    copy.OnSetpoint[0] = 1;
    copy.OffSetpoint[15] = 1;
    QCOMPARE(CurrentData.Version, QStringLiteral("TALVEK_R1.2.3"));
    QCOMPARE(CurrentData.ParamAddress[0], QStringLiteral("D1100"));
    QCOMPARE(CurrentData.ParamAddress[1], QStringLiteral("W1104"));
    QCOMPARE(CurrentData.ParamValue[9], 300);
    QCOMPARE(CurrentData.ParamValue.size(), 18);
    QCOMPARE(CurrentData.SpeedCompensation[0], qint16(0));
    QCOMPARE(CurrentData.OnSetpoint[0], qint16(150));
    QCOMPARE(CurrentData.OffSetpoint[15], qint16(0));

    // Between the globals: New copies the defaults, the copy then changes alone.
    CurrentData = DefaultData;
    SavedData = CurrentData;
    CurrentData.ParamValue[10] = 260;
    CurrentData.ParamAddress[10] = QStringLiteral("W1");
    QCOMPARE(DefaultData.ParamValue[10], 250);
    QCOMPARE(SavedData.ParamValue[10], 250);
    QCOMPARE(DefaultData.ParamAddress[10], QStringLiteral("W1026"));
    QVERIFY(HasUnsavedChanges());
}

void tst_MachineData::resizeTables()
{
    MachineData data;
    for (int i = 0; i < 20; ++i) {
        data.ParamAddress.append(QStringLiteral("A%1").arg(i));
        data.ParamValue.append(i + 100);
    }
    data.resizeTables(17);
    QCOMPARE(data.ParamAddress.size(), 18);
    QCOMPARE(data.ParamValue.size(), 18);
    QCOMPARE(data.ParamAddress[17], QStringLiteral("A17"));
    QCOMPARE(data.ParamValue[17], 117);

    data.resizeTables(9);
    data.resizeTables(17);
    QCOMPARE(data.ParamAddress[9], QStringLiteral("A9"));
    QCOMPARE(data.ParamValue[9], 109);
    for (int row = 10; row <= 17; ++row) {
        QCOMPARE(data.ParamAddress[row], QString());
        QCOMPARE(data.ParamValue[row], 0);
    }

    data.resizeTables(-1);
    QVERIFY(data.ParamAddress.isEmpty());
    QVERIFY(data.ParamValue.isEmpty());
}

void tst_MachineData::valueText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("300") << 300 << QStringLiteral(" 300");
    QTest::newRow("0") << 0 << QStringLiteral(" 0");
    QTest::newRow("-5") << -5 << QStringLiteral("-5");
    QTest::newRow("double word") << 655359999 << QStringLiteral(" 655359999");
    QTest::newRow("int max") << 2147483647 << QStringLiteral(" 2147483647");
    QTest::newRow("int min") << int(-2147483647 - 1) << QStringLiteral("-2147483648");
}

void tst_MachineData::valueText()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(paramValueText(value), text);
}

void tst_MachineData::valueFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QStringLiteral("300") << 300;
    QTest::newRow("leading blank") << QStringLiteral(" 300") << 300;
    QTest::newRow("letters after") << QStringLiteral("12abc") << 12;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("word") << QStringLiteral("abc") << 0;
    QTest::newRow("failed read") << QStringLiteral("-9999") << -9999;
    QTest::newRow("tie to even down") << QStringLiteral("2.5") << 2;
    QTest::newRow("tie to even up") << QStringLiteral("3.5") << 4;
    QTest::newRow("negative tie") << QStringLiteral("-2.5") << -2;
    QTest::newRow("double word") << QStringLiteral("655359999") << 655359999;
    QTest::newRow("beyond max") << QStringLiteral("1E10") << 2147483647;
    QTest::newRow("beyond min") << QStringLiteral("-1E10") << int(-2147483647 - 1);
}

void tst_MachineData::valueFromText()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(paramValueFromText(text), value);
}

void tst_MachineData::plsUpload()
{
    std::array<qint16, 19> table {};
    for (int i = 0; i < 19; ++i)
        table[std::size_t(i)] = qint16(i + 1);
    MachineData data = DefaultData;
    applyPlsConfigList(data, table);
    QCOMPARE(data.PlsChannelCount, qint16(1));
    QCOMPARE(data.PlsProgram, qint16(2));
    QCOMPARE(data.SpeedCompensation, (std::array<qint16, 8> { 3, 4, 5, 6, 7, 8, 9, 10 }));
    // Nothing else is taken from the list.
    QCOMPARE(data.PlsScaleFactor, qint16(360));
    QCOMPARE(data.PlsOffset, qint16(0));
    QCOMPARE(data.OnSetpoint, DefaultData.OnSetpoint);
    QCOMPARE(data.ParamValue, DefaultData.ParamValue);

    // A short list only sets what it holds.
    const std::array<qint16, 3> shortList { 4, 5, 6 };
    MachineData partial = DefaultData;
    applyPlsConfigList(partial, shortList);
    QCOMPARE(partial.PlsChannelCount, qint16(4));
    QCOMPARE(partial.PlsProgram, qint16(5));
    QCOMPARE(partial.SpeedCompensation, (std::array<qint16, 8> { 6, 0, 0, 0, 0, 0, 0, 0 }));
}

void tst_MachineData::plsScaleAndOffsetText_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<bool>("stored");
    QTest::newRow("360") << 360 << true;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("16-bit max") << 32767 << true;
    QTest::newRow("beyond 16 bits") << 40000 << false;
    QTest::newRow("below 16 bits") << -32769 << false;
}

// A PLS word the record cannot hold is refused, not wrapped.
void tst_MachineData::plsScaleAndOffsetText()
{
    QFETCH(int, word);
    QFETCH(bool, stored);

    MachineData data = DefaultData;
    data.PlsOffset = 11;
    QCOMPARE(applyPlsScaleFactor(data, word), stored);
    QCOMPARE(int(data.PlsScaleFactor), stored ? word : 360);
    QCOMPARE(data.PlsOffset, qint16(11));

    QCOMPARE(applyPlsOffset(data, word), stored);
    QCOMPARE(int(data.PlsOffset), stored ? word : 11);
}

void tst_MachineData::plsDownloadList()
{
    MachineData data = DefaultData;
    data.PlsProgram = 3;
    data.PlsChannelCount = 12;
    data.PlsScaleFactor = 720;
    data.PlsOffset = 99;
    data.SpeedCompensation = { 11, 12, 13, 14, 15, 16, 17, 18 };
    const std::array<qint16, 24> expected { 3, 11, 12, 13, 14, 0, 15, 16, 17, 18, 0, 0, 0, 0, 0, 0, 0, 0, 12,
        0, 0, 0, 0, 0 };
    QCOMPARE(plsConfigDownloadList(data), expected);

    const std::array<qint16, 24> defaults { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0,
        0, 0 };
    QCOMPARE(plsConfigDownloadList(DefaultData), defaults);
}

void tst_MachineData::emptyChannels()
{
    for (int ch = 0; ch < 7; ++ch)
        QVERIFY2(!isChannelEmpty(DefaultData, ch), qPrintable(QString::number(ch)));
    QVERIFY(!isChannelEmpty(DefaultData, 7)); // PLC Timing: 0 / 20
    for (int ch = 8; ch < 16; ++ch)
        QVERIFY(isChannelEmpty(DefaultData, ch));
    MachineData data = DefaultData;
    data.OffSetpoint[7] = 0;
    QVERIFY(isChannelEmpty(data, 7));
    data.OnSetpoint[12] = 5;
    QVERIFY(!isChannelEmpty(data, 12));
    QVERIFY(isChannelEmpty(data, 16));
    QVERIFY(isChannelEmpty(data, -1));
}

QTEST_APPLESS_MAIN(tst_MachineData)
#include "tst_machinedata.moc"
