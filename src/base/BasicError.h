#pragma once

#include <QString>
#include <stdexcept>

namespace talvek {

// A run-time fault as the classic language raised it: an error number, the
// source that raised it and a description. Procedures that have their own
// error handler catch it and show "Error Number = " with these fields.
class BasicError : public std::runtime_error
{
public:
    BasicError(int number, QString source, QString description)
        : std::runtime_error(description.toStdString())
        , m_number(number)
        , m_source(std::move(source))
        , m_description(std::move(description))
    { }

    int number() const { return m_number; }
    QString source() const { return m_source; }
    QString description() const { return m_description; }

    // Error 6, "Overflow": a number does not fit the type it is stored in.
    static BasicError overflow()
    {
        return BasicError(kOverflow, QStringLiteral("TALVEK"), QStringLiteral("Overflow"));
    }

    static constexpr int kOverflow = 6;

private:
    int m_number;
    QString m_source;
    QString m_description;
};

// Error numbers of the run-time faults the program reports (the numbers of the
// classic runtime, which the error boxes show and operators know).
namespace RuntimeError {
constexpr int kInvalidCall = 5; // "Invalid procedure call or argument"
constexpr int kOverflow = 6;
constexpr int kOutOfMemory = 7;
constexpr int kTypeMismatch = 13;
constexpr int kFileNotFound = 53;
constexpr int kDeviceIo = 57;
constexpr int kDiskFull = 61;
constexpr int kInputPastEnd = 62;
constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccess = 75;
} // namespace RuntimeError

} // namespace talvek
