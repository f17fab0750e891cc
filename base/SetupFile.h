#pragma once

struct Globals;

// "Kestrum.set" in the program folder: ComPortIndex, LogfileMode, SetPath and
// UnitType. Neither operation ever reports a failure.
void ReadSetupFile(Globals &globals);
void WriteSetupFile(const Globals &globals);
