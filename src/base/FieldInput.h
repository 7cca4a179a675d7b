#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace talvek {

// Comma-separated field input, as the classic "Input #" statement reads text
// files: a field ends at a comma or at the end of a line; blanks and tabs around
// an unquoted field are ignored; a field in double quotes loses its quotes and
// may hold commas. Bytes are ANSI text (Windows-1252/Latin-1).
class FieldInput final
{
public:
    explicit FieldInput(QByteArray data);

    // True when no further field can be read.
    bool atEnd() const;
    // Reads the next field; an exhausted input gives an empty text and sets
    // pastEnd(). Reading past the end is the "Input past end of file" fault.
    QString next();
    bool pastEnd() const { return m_pastEnd; }

private:
    void skipBlanks();

    QByteArray m_data;
    qsizetype m_pos = 0;
    bool m_pastEnd = false;
    bool m_afterComma = false;
};

} // namespace talvek
