#pragma once

#include "protocol/ConverterSearch.h"
#include "serial/PortMap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Kestrum;

// One search for the converter over every serial device present: each device a
// Com number of the program folder reaches, then the system's other serial
// devices, less those it leaves alone unless a link names them (SearchLeavesAlone);
// or only the devices Kestrum::searchDevices names. What the settings dialog's
// "Find converter" and kestrum-cli's detect run; the caller ticks it every 25 ms
// and, in the window, holds the program's port for it
// (Kestrum::BeginConverterSearch).
class ConverterFinder
{
public:
    using Outcome = ConverterSearch::Outcome;

    struct Tried
    {
        PortDevice device;
        Outcome outcome;
    };

    // The device to select: the answering device with the lowest Com number, else
    // the first answering device without one, which then gets the lowest free
    // number (made into a link on saving; 0 when every number is taken).
    struct Found
    {
        int portNumber = 0;
        PortDevice device;
        bool needsLink = false;
    };

    explicit ConverterFinder(const Kestrum &app);

    void start();
    void tick();
    void stop();
    bool isFinished() const { return m_search.isFinished(); }

    // Every device tried: those with a number in number order, then the others in
    // path order.
    QList<Tried> tried() const;
    std::optional<Found> found() const;

    // "Trying Com1 (/dev/ttyUSB0), /dev/ttyAMA0" while devices are being tried.
    QString progressText() const;
    // "Converter found on Com3 (/dev/ttyUSB2)" or "No converter answered. Tried: ...".
    QString resultText() const;
    // kestrum-cli detect: "ComN<TAB>DEVICE<TAB>DESCRIPTION<TAB>result" per device.
    QStringList detectLines() const;

    // Makes the link a found device without a number needs; false with *error.
    bool linkFound(const Found &found, QString *error) const;

    static QString outcomeWord(Outcome outcome);

private:
    QList<PortDevice> devicesToTry() const;

    PortMap m_map;
    QString m_sysTtyFolder;
    QStringList m_named;
    QList<PortDevice> m_devices;
    ConverterSearch m_search;
};
