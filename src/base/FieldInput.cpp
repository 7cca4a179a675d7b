#include "base/FieldInput.h"

namespace talvek {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
} // namespace

FieldInput::FieldInput(QByteArray data)
    : m_data(std::move(data))
{
    // A Ctrl+Z marks the end of an old-style text file.
    const qsizetype eof = m_data.indexOf('\x1a');
    if (eof >= 0)
        m_data.truncate(eof);
}

void FieldInput::skipBlanks()
{
    while (m_pos < m_data.size() && isBlank(m_data.at(m_pos)))
        ++m_pos;
}

bool FieldInput::atEnd() const
{
    qsizetype p = m_pos;
    while (p < m_data.size() && (isBlank(m_data.at(p)) || isLineEnd(m_data.at(p))))
        ++p;
    return p >= m_data.size();
}

QString FieldInput::next()
{
    if (m_afterComma) {
        // A comma followed by the line end (or the end of the data) leaves
        // an empty field there.
        m_afterComma = false;
        skipBlanks();
        if (m_pos >= m_data.size()) {
            m_pastEnd = true;
            return {};
        }
        const char c = m_data.at(m_pos);
        if (isLineEnd(c)) {
            ++m_pos;
            if (c == '\r' && m_pos < m_data.size() && m_data.at(m_pos) == '\n')
                ++m_pos;
            return {};
        }
    }
    // Leading blank lines are skipped before a field.
    while (m_pos < m_data.size() && (isBlank(m_data.at(m_pos)) || isLineEnd(m_data.at(m_pos))))
        ++m_pos;
    if (m_pos >= m_data.size()) {
        m_pastEnd = true;
        return {};
    }

    QByteArray field;
    if (m_data.at(m_pos) == '"') {
        ++m_pos;
        while (m_pos < m_data.size() && m_data.at(m_pos) != '"')
            field.append(m_data.at(m_pos++));
        if (m_pos < m_data.size())
            ++m_pos; // closing quote
        // Anything up to the delimiter after a quoted field is ignored.
        while (m_pos < m_data.size() && m_data.at(m_pos) != ',' && !isLineEnd(m_data.at(m_pos)))
            ++m_pos;
    } else {
        while (m_pos < m_data.size() && m_data.at(m_pos) != ',' && !isLineEnd(m_data.at(m_pos)))
            field.append(m_data.at(m_pos++));
        while (!field.isEmpty() && isBlank(field.back()))
            field.chop(1);
    }

    // Consume the delimiter: one comma, or one line end (CR LF counts as one).
    if (m_pos < m_data.size()) {
        const char c = m_data.at(m_pos);
        if (c == ',') {
            ++m_pos;
            m_afterComma = true;
        } else if (c == '\r') {
            ++m_pos;
            if (m_pos < m_data.size() && m_data.at(m_pos) == '\n')
                ++m_pos;
        } else if (c == '\n') {
            ++m_pos;
        }
    }
    return QString::fromLatin1(field);
}

} // namespace talvek
