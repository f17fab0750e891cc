#pragma once

#include <QString>

// Where the program shows which port is open and with which line settings (the
// caption of the communication frame). The serial link knows only this of the screen.
class PortCaption
{
public:
    virtual ~PortCaption() = default;
    virtual void setPortCaption(const QString &caption) = 0;
};
