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
        return BasicError(Overflow, QStringLiteral("TALVEK"), QStringLiteral("Overflow"));
    }

    static constexpr int Overflow = 6;

private:
    int m_number;
    QString m_source;
    QString m_description;
};

} // namespace talvek
