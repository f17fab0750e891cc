#pragma once

#include "report/Report.h"

class Commands;
class Kestrum;

// "Export report..." and "Print report..." of the "File" page: a configuration
// report of the values the screen shows.
class ReportCommands
{
public:
    ReportCommands(Kestrum &app, Commands &commands);

    void CmdExportReport();
    void CmdPrintReport();

    // The report of the screen's values, marked where they differ from the
    // converter's values that are known, and the differences from a settings file
    // when the user wants them; no value when the user cancelled.
    std::optional<ReportInput> screenReport();

private:
    Kestrum &m_app;
    Commands &m_commands;
};
