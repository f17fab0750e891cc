#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What `kestrum --help` and `kestrum --version` print on standard output. The
// arguments as main() gets them, program name first: the text for the first
// "--help" or "--version" among them, nothing for every other command line, which
// goes to the start-up sequence as it is ("/LOG" and "/DEBUG" anywhere in it).
// Needs no QApplication, so both work without a display.
std::optional<QString> WindowInfoText(const QStringList &arguments);

// The help, laid out for help2man: usage, description, switches, environment, files.
QString WindowHelpText();
