#pragma once

#include <QString>

// The maker's name and address as the program's titles and captions carry them.
inline const QString MakerAddress = QStringLiteral("www.brivane.example");
inline const QString TitleBrivane = QStringLiteral("Kestrum by Brivane");
inline const QString TitleVanBrivane = QStringLiteral("Kestrum van Brivane");
inline const QString TitleWithAddress = QStringLiteral("Kestrum by ") + MakerAddress;
inline const QString MainWindowCaption = QStringLiteral(" Kestrum Dunvale unit ") + MakerAddress;
