#pragma once

#include <QString>

// The program folder: $KESTRUM_HOME when set; else the executable's folder when it
// already holds "Kestrum.set" or "default.set" (a portable copy); else the per-user
// data folder, created on first use. Returned without a trailing "/".
QString ResolveProgramFolder(const QString &executableDir);
