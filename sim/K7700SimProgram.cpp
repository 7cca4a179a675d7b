// Program mode of the K7700 model: raw program records, each answered with
// the 8-bit sum of its bytes; and the ident registers.

#include "K7700Sim.h"

namespace talvek {

K7700Sim::Reply K7700Sim::onProgram(std::uint8_t byte)
{
    m_recordSum = (m_step == 0 ? 0 : m_recordSum) + byte;
    switch (m_step) {
    case 0:
        m_recordLength = byte;
        m_step = 1;
        return {};
    case 1:
        m_address = byte << 8;
        m_step = 2;
        return {};
    case 2:
        m_address |= byte;
        m_step = 3;
        break;
    default:
        store(m_address + m_step - 3, byte);
        ++m_step;
        break;
    }
    if (m_step - 3 < m_recordLength)
        return {};
    m_step = 0;
    ++m_programRecords;
    return { QByteArray(1, static_cast<char>(m_recordSum & 0xFF)) };
}

void K7700Sim::setIdent(const QByteArray& ident, std::uint8_t checksum, std::uint8_t revision)
{
    for (int i = 0; i < 8; ++i)
        setByte(IdentRegister + i, i < ident.size() ? static_cast<std::uint8_t>(ident.at(i)) : 0);
    setByte(IdentRegister + 8, checksum);
    setByte(IdentRegister + 9, revision);
}

} // namespace talvek
