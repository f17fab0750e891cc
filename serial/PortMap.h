#pragma once

#include <QString>

// Port number N (1-based, as in "Com3") to the device it opens: the target of the
// link ports/comN in the program folder when that exists; else Com1..Com10 are
// /dev/ttyUSB0..9, Com11..Com20 /dev/ttyACM0..9, Com21..Com30 /dev/ttyS0..9.
// Returns "" for a number without a device.
QString DeviceForPort(int portNumber, const QString &programFolder);
