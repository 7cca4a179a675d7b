#pragma once

#include <QString>

#include <array>

namespace talvek {

class Clock;
class Prompter;
class ProgramFolder;
class SerialPortControl;

// The controller link: every access to the K7700 goes through the one instance
// of this class. Half-duplex, byte by byte: one byte out, one reply byte back.
//
// Controller failures are not exceptions: a failed exchange sets CommError and
// the operation returns its failure value; while CommError is set every
// exchange fails at once without touching the port.
//
// One controller operation at a time: while an exchange waits inside a modal
// box (the Retry/Cancel of a timeout), a controller operation started from the
// event loop fails fast and leaves the link state of the waiting one alone.
class RSComm final
{
public:
    RSComm(ProgramFolder& folder, Clock& clock, Prompter& prompter);
    ~RSComm();
    RSComm(const RSComm&) = delete;
    RSComm& operator=(const RSComm&) = delete;

    // The no-reply value of SendByte; never a byte.
    static constexpr int NoReply = 9999;
    static constexpr int Attention = 0xFF;
    static constexpr int Ack = 0x55;

    // ---- public flags ----
    bool OnlineMode = false;
    bool CommError = false;

    // Full path of the port settings file.
    QString CommSettingsFile() const;

    // ---- open, close, read, write ----
    void OpenRSComm(SerialPortControl* CommObj);
    void CloseRSComm();
    QString RSRead(const QString& Add);
    void RSWrite(const QString& Add, const QString& DataValue);

    // True while a controller operation is in progress (for example while the
    // Retry/Cancel box of a timeout is up).
    bool IsBusy() const { return m_depth > 0; }

    // ---- link primitives, used by the controller operations of this class ----
    struct PortSettings
    {
        int port = 1;
        QString speed = QStringLiteral("9600");
    };
    // Reads the port settings file, creating folder and file when missing.
    // Throws SerialError on a read error (a port field that is not a number).
    PortSettings ReadPortSettings();
    void ConfigurePort(SerialPortControl* port);
    int SendByte(int value, bool noWait, bool clearInput);
    bool SetPLCMode(int mode, int command);
    void ParseAddress(const QString& address);
    QString ReadValue(const QString& Add);
    void WriteValue(const QString& Add, const QString& DataValue);

    // ---- link state (read by tests and the other controller operations) ----
    int CurrentMode = 0;
    bool WriteMismatch = false;
    bool PortFailed = false;
    QString AddType = QStringLiteral("B");
    qint32 AddNumber = 0;
    quint16 BitMask = 0;
    bool IsBitAdd = false;

    struct LastReadRecord
    {
        QString address;
        QString type;
        qint32 number = 0;
        quint16 bitMask = 0;
        bool isBit = false;
        int width = 0; // 0 byte, 1 word, 3 double word
        std::array<int, 4> data {};
    };
    LastReadRecord LastRead;

    SerialPortControl* Port() const { return m_port; }

private:
    class OperationGuard;
    void entryAlert(const QString& message);
    void errorBox(int number, const QString& source, const QString& description, const QString& title,
                  bool withSource, bool retryCancel, bool* retry);

    ProgramFolder& m_folder;
    Clock& m_clock;
    Prompter& m_prompter;
    SerialPortControl* m_port = nullptr;
    int m_depth = 0;
};

} // namespace talvek
