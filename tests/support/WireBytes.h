#pragma once

#include <QByteArray>

#include <initializer_list>

namespace talvek::test {

// The bytes of a wire record, written as numbers: bytes({ 0xFF, 0x01 }).
inline QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}

} // namespace talvek::test
