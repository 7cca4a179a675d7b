#include "shared/SetupFile.h"

#include "base/SafeWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace talvek {

namespace {

constexpr qint64 kMaxTextBytes = 0xFFFF;

// ---- writing ----

class RecordWriter final
{
public:
    explicit RecordWriter(QByteArray& bytes)
        : m_bytes(bytes)
    { }

    void int16(qint16 value) { number(value); }
    void uint16(quint16 value) { number(value); }
    void int32(qint32 value) { number(value); }
    // The caller has checked the length.
    void text(const QString& value)
    {
        const QByteArray latin1 = value.toLatin1();
        uint16(quint16(latin1.size()));
        m_bytes.append(latin1);
    }
    void tableHeader(qsizetype count)
    {
        uint16(1); // dimensions
        int32(qint32(count)); // element count
        int32(0); // lower bound
    }

private:
    // Little-endian, as wide as its type.
    template <typename T> void number(T value)
    {
        char raw[sizeof(T)];
        qToLittleEndian<T>(value, raw);
        m_bytes.append(raw, sizeof(T));
    }

    QByteArray& m_bytes;
};

// ---- reading ----

class RecordReader final
{
public:
    explicit RecordReader(QByteArrayView bytes)
        : m_bytes(bytes)
    { }

    qint64 remaining() const { return m_bytes.size() - m_pos; }
    bool failed() const { return !m_reason.isEmpty(); }
    QString reason() const { return m_reason; }

    void fail(const QString& reason)
    {
        if (m_reason.isEmpty())
            m_reason = reason;
    }

    // Each read names the part of the record it belongs to, for the message
    // when the file ends inside it.
    bool take(qint64 count, const char* part, const char** data)
    {
        if (failed())
            return false;
        if (count > remaining()) {
            fail(QStringLiteral("The file is too short: it ends inside the %1.").arg(QLatin1String(part)));
            return false;
        }
        *data = m_bytes.data() + m_pos;
        m_pos += count;
        return true;
    }
    qint16 int16(const char* part) { return number<qint16>(part); }
    quint16 uint16(const char* part) { return number<quint16>(part); }
    qint32 int32(const char* part) { return number<qint32>(part); }
    quint32 uint32(const char* part) { return number<quint32>(part); }
    // Little-endian, as wide as its type; 0 once the reading has failed.
    template <typename T> T number(const char* part)
    {
        const char* data = nullptr;
        return take(sizeof(T), part, &data) ? qFromLittleEndian<T>(data) : T(0);
    }
    QString text(const char* part)
    {
        const quint16 length = uint16(part);
        const char* data = nullptr;
        if (!take(length, part, &data))
            return QString();
        return QString::fromLatin1(data, length);
    }

    // Reads a table header; returns the element count, or -1 on failure.
    // minRowBytes is the smallest size of one row in the file, so that a
    // count the file cannot hold is refused before anything is allocated.
    qint64 tableHeader(const char* part, qint64 minRowBytes)
    {
        const quint16 dimensions = uint16(part);
        const quint32 count = uint32(part);
        const qint32 lowerBound = int32(part);
        if (failed())
            return -1;
        if (dimensions != 1) {
            fail(QStringLiteral("The %1 has %2 dimensions instead of 1.")
                     .arg(QLatin1String(part))
                     .arg(dimensions));
            return -1;
        }
        if (lowerBound != 0) {
            fail(QStringLiteral("The %1 starts at row %2 instead of row 0.")
                     .arg(QLatin1String(part))
                     .arg(lowerBound));
            return -1;
        }
        if (count > quint32(kMaxSetupFileRows)) {
            fail(QStringLiteral("The %1 claims %2 rows; a set-up file holds at most %3.")
                     .arg(QLatin1String(part))
                     .arg(count)
                     .arg(kMaxSetupFileRows));
            return -1;
        }
        if (qint64(count) * minRowBytes > remaining()) {
            fail(QStringLiteral("The file is too short: it ends inside the %1.").arg(QLatin1String(part)));
            return -1;
        }
        return qint64(count);
    }

private:
    QByteArrayView m_bytes;
    qint64 m_pos = 0;
    QString m_reason;
};

void setReason(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
}

} // namespace

bool encodeSetupRecord(const MachineData& record, QByteArray& bytes, QString* reason)
{
    if (record.Version.size() > kMaxTextBytes) {
        setReason(reason, QStringLiteral("The version text is longer than %1 characters.").arg(kMaxTextBytes));
        return false;
    }
    for (qsizetype row = 0; row < record.ParamAddress.size(); ++row) {
        if (record.ParamAddress[row].size() > kMaxTextBytes) {
            setReason(reason,
                QStringLiteral("The address of parameter row %1 is longer than %2 characters.")
                    .arg(row)
                    .arg(kMaxTextBytes));
            return false;
        }
    }
    if (record.ParamAddress.size() > kMaxSetupFileRows || record.ParamValue.size() > kMaxSetupFileRows) {
        setReason(reason, QStringLiteral("The parameter table has more than %1 rows.").arg(kMaxSetupFileRows));
        return false;
    }

    QByteArray image;
    RecordWriter out(image);
    out.text(record.Version);
    out.tableHeader(record.ParamAddress.size());
    for (const QString& address : record.ParamAddress)
        out.text(address);
    out.tableHeader(record.ParamValue.size());
    for (const qint32 value : record.ParamValue)
        out.int32(value);
    out.int16(record.PlsChannelCount);
    out.int16(record.PlsScaleFactor);
    out.int16(record.PlsOffset);
    out.int16(record.PlsProgram);
    for (const qint16 value : record.SpeedCompensation)
        out.int16(value);
    for (const qint16 value : record.OnSetpoint)
        out.int16(value);
    for (const qint16 value : record.OffSetpoint)
        out.int16(value);
    bytes = image;
    return true;
}

bool decodeSetupRecord(QByteArrayView bytes, MachineData& record, QString* reason)
{
    RecordReader in(bytes);
    MachineData read;

    read.Version = in.text("version text");

    const qint64 addressCount = in.tableHeader("parameter address table", 2);
    for (qint64 row = 0; row < addressCount && !in.failed(); ++row)
        read.ParamAddress.append(in.text("parameter address table"));

    const qint64 valueCount = in.tableHeader("parameter value table", 4);
    for (qint64 row = 0; row < valueCount && !in.failed(); ++row)
        read.ParamValue.append(in.int32("parameter value table"));

    read.PlsChannelCount = in.int16("PLS configuration");
    read.PlsScaleFactor = in.int16("PLS configuration");
    read.PlsOffset = in.int16("PLS configuration");
    read.PlsProgram = in.int16("PLS configuration");
    for (qint16& value : read.SpeedCompensation)
        value = in.int16("speed compensation");
    for (qint16& value : read.OnSetpoint)
        value = in.int16("ON setpoints");
    for (qint16& value : read.OffSetpoint)
        value = in.int16("OFF setpoints");

    if (in.failed()) {
        setReason(reason, in.reason());
        return false;
    }
    record = read;
    return true;
}

bool readSetupFile(const QString& path, MachineData& record, QString* reason)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir()) {
        setReason(reason, QStringLiteral("It is a folder, not a file."));
        return false;
    }
    // A pipe or a device would block the open until someone writes to it.
    if (info.exists() && !info.isFile()) {
        setReason(reason, QStringLiteral("It is not a regular file."));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setReason(reason, QStringLiteral("The file could not be opened: %1.").arg(file.errorString()));
        return false;
    }
    // Read in pieces, never more than a set-up file can sensibly be.
    QByteArray bytes;
    while (bytes.size() < kMaxSetupFileBytes) {
        const QByteArray piece = file.read(qMin<qint64>(64 * 1024, kMaxSetupFileBytes - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes.append(piece);
    }
    if (file.error() != QFileDevice::NoError) {
        setReason(reason, QStringLiteral("The file could not be read: %1.").arg(file.errorString()));
        return false;
    }
    const bool capped = bytes.size() >= kMaxSetupFileBytes && !file.atEnd();
    file.close();

    QString why;
    if (decodeSetupRecord(bytes, record, &why))
        return true;
    if (capped)
        why = QStringLiteral("The file holds no complete set-up record within its first %1 bytes.")
                  .arg(kMaxSetupFileBytes);
    setReason(reason, why);
    return false;
}

bool writeSetupFile(const QString& path, const MachineData& record, QString* reason)
{
    QByteArray bytes;
    if (!encodeSetupRecord(record, bytes, reason))
        return false;

    if (const auto failure = safeWrite(path, bytes)) {
        setReason(reason, failure->sentence());
        return false;
    }
    return true;
}

void newMachineData()
{
    CurrentData = DefaultData;
    SavedData = CurrentData;
    IsUntitled = true;
    DataReloaded = true;
}

bool loadFileData(const QString& path, QString* reason)
{
    return readSetupFile(path, FileData, reason);
}

void AcceptFileData()
{
    FileData.resizeTables(ParamCount);
    CurrentData = FileData;
    SavedData = CurrentData;
    IsUntitled = false;
}

bool saveCurrentData(const QString& path, QString* reason)
{
    MachineData stamped = CurrentData;
    stamped.Version = ProgramVersion;
    if (!writeSetupFile(path, stamped, reason))
        return false;
    CurrentData = stamped;
    SavedData = CurrentData;
    return true;
}

} // namespace talvek
