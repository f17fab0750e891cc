#pragma once

#include "report/Report.h"

#include <QString>

// The sources of a report that need no converter. A source from the converter or
// the screen is made from the values its front end has at hand.

// A settings file as "Read from file" reads it, with its bytes, its modification
// time and their SHA-256. No value, and the reason in *error, when it cannot be
// read. Every settings file of a report is loaded here.
std::optional<ReportSource> LoadReportFile(const QString &path, QString *error);

// The default set of the program folder, as the start-up reads it (every item 0
// or "" without a default file).
ReportValues LoadDefaultSet(const QString &programFolder);

// A source of values that lives in no file: the settings file is made from them.
// `known` says which items the values hold.
ReportSource SourceFromValues(const QString &description, const QString &name,
                              const ReportValues &values, const std::array<bool, ItemSlots> &known,
                              const QString &attachmentName, const QDateTime &taken);
