#pragma once

// What the target board panel's tests start from: the two code tables, a
// program file set, and a board with faults to show.

#include "K7700Sim.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

namespace talvek::test {

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Both code tables. Two records for 0A: the last one wins (its code written
// in lower case).
inline void writeCodeTables(const QString& folder)
{
    writeFile(folder + QStringLiteral("/support/FaultErrCodes.txt"),
        "0A,First ten\r\n0a,\"Ten, again\"\r\n5C,Bad program\r\n42,Fault table 42\r\n");
    writeFile(folder + QStringLiteral("/support/CommErrCodes.txt"),
        "00,No error\r\n07,Address out of range\r\n42,Comm table 42\r\n");
}

// The program file set PROG in folder: board code and revision field (no
// revision file for a null one). Returns the program file's path.
inline QString writeProgramSet(
    const QString& folder, const QByteArray& board, const QByteArray& rev = "PRESS 10312")
{
    const QString base = folder + QStringLiteral("/PROG.");
    writeFile(base + QStringLiteral("nvk"), board + "\r\n");
    if (!rev.isNull())
        writeFile(base + QStringLiteral("rev"), rev + "\r\n");
    writeFile(base + QStringLiteral("hex"), ":00000001FF\r\n");
    return base + QStringLiteral("nvk");
}

// Codes in all four fault and error registers (the last communication error
// has no record in the tables) and the board's program ident "AB", checksum
// 3, revision 18.
inline void setBoardFaults(K7700Sim& sim)
{
    sim.setByte(8176, 10);
    sim.setByte(8177, 0x5C);
    sim.setByte(8179, 7);
    sim.setByte(8178, 0x33);
    sim.setIdent("AB", 3, 18);
}

} // namespace talvek::test
