#pragma once

#include "SimPort.h"

#include <QList>

namespace talvek::test {

// One register access as it went over the wire: a byte read (address, the
// byte the board answered) or a byte written (address, the byte sent).
struct WireOp
{
    bool write = false;
    int address = 0;
    int data = 0;
    bool operator==(const WireOp&) const = default;
};

// The register accesses in a wire record, read the way the board reads the
// bytes it hears: 0xFF at the start of a record is the attention byte,
// command 1 enters read mode (pairs: address high, address low), command 2
// write mode (triples: high, low, data). A word access shows as two byte
// accesses, a double word as four. The whole record is decoded (a mode set
// up earlier carries over); only accesses completed at exchange `from` or
// later are returned.
QList<WireOp> DecodeWire(const QList<SimPort::Exchange>& exchanges, qsizetype from = 0);

// The byte addresses read, in order.
QList<int> ReadAddresses(const QList<SimPort::Exchange>& exchanges, qsizetype from = 0);

// The byte writes, in order.
QList<WireOp> Writes(const QList<SimPort::Exchange>& exchanges, qsizetype from = 0);

} // namespace talvek::test
