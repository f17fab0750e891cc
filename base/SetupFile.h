#pragma once

struct Globals;

// "Kestrum.set" in the program folder: ComPortIndex, LogfileMode, SetPath and
// UnitType. Neither operation shows a failure; the write tells its caller (false when
// the file was not written) for a tool without a window to report.
void ReadSetupFile(Globals &globals);
bool WriteSetupFile(const Globals &globals);
