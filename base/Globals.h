#pragma once

#include <QString>
#include <QtGlobal>

// The program's shared state (module Variabelen). Integers are 16-bit, as the
// converter tool has always kept them; the lamp flags are plain booleans.
struct Globals
{
    qint16 ComPortIndex = 0; // 0-based: the port opened is ComPortIndex + 1
    qint16 LogfileMode = 0;  // 0: WriteLog drops every line
    QString SetPath;         // folder first offered by the settings-file dialogs
    qint16 UnitType = 0;     // always 3 while the program runs
    qint16 DebugLevel = 0;   // 2 = service mode; 1 behaves like 0

    bool TxActivity = false;
    bool RxActivity = false;
    bool TxLampLit = false;
    bool RxLampLit = false;

    // Where "Kestrum.set", "default.set", Log/ and ports/ live.
    QString ProgramFolder;
};
