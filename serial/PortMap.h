#pragma once

#include "serial/DeviceLock.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Port number N (1-based, as in "Com3") to the device it opens: the target of the
// link ports/comN in the program folder when that exists; else Com1..Com10 are
// /dev/ttyUSB0..9, Com11..Com20 /dev/ttyACM0..9, Com21..Com30 /dev/ttyS0..9.
// A plain file ports/comN holding an address ("tcp://HOST:PORT",
// "rfc2217://HOST:PORT") leads to that serial device server. Returns "" for a
// number without a device.
QString DeviceForPort(int portNumber, const QString &programFolder);

// The device the fixed table gives port number N, whatever the links say; "" for
// a number outside the table.
QString FixedDeviceForPort(int portNumber);

// True when the device exists but this user may not open it for reading and writing.
bool LacksPermission(const QString &device);

// True for a device the converter search leaves alone unless the user names it: a
// Bluetooth serial device (rfcommN: opening one starts a radio connection) or a
// ttySN that the kernel lists without a UART behind it (its type is 0, unknown).
bool SearchLeavesAlone(const QString &systemPath, const QString &sysTtyFolder);

// What the system reports of one serial device it knows.
struct SystemPort
{
    QString path; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// Where the port map looks beyond the program folder. Tests give a folder of their
// own for the by-id names and a list of their own for the system's devices.
struct PortSources
{
    QString byIdFolder = QStringLiteral("/dev/serial/by-id");
    // Where the kernel describes its terminals (ttyS0/type, ...).
    QString sysTtyFolder = QStringLiteral("/sys/class/tty");
    // Where lock files of serial devices live.
    QString lockFolder = DeviceLock::SystemFolder();
    // Every serial device the system reports; empty: the system's own list.
    std::function<QList<SystemPort>()> systemPorts;
};

// One device as the settings dialog and the converter search see it.
struct PortDevice
{
    int portNumber = 0;  // the Com number that reaches it; 0 when none does
    QString device;      // the path the number opens (a link's target), else the system path
    QString systemPath;  // the device with every link followed
    bool linked = false; // the number reaches it through ports/comN
    bool present = false;
    bool noPermission = false;
    bool network = false; // a serial device server's address, not a device
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString byIdName; // the full path of its name in the by-id folder, "" when none

    // "/dev/ttyUSB0 — FT232R USB UART, FTDI, serial A50285BI": the system path and
    // what the system knows of the device (or that it knows nothing).
    QString summary() const;
};

// The Com numbers of one program folder together with the serial devices present.
class PortMap
{
public:
    static constexpr int PortCount = 30; // Com1..Com30

    explicit PortMap(const QString &programFolder, PortSources sources = {});

    // What is known of the device: by its path, whether or not it exists. An
    // address counts as present: only connecting can tell more.
    PortDevice describe(const QString &device) const;
    // The device number N opens, described.
    PortDevice port(int portNumber) const;

    // Every present device once: those a Com number reaches in number order (a
    // device reached by a link carries the link's number, else the lowest number
    // of the fixed table), then the system's other serial devices in path order
    // (number 0).
    QList<PortDevice> presentDevices() const;

    // The lowest number without a link whose fixed-table device is absent, for a
    // device no number reaches; 0 when every number is taken.
    int freeNumber() const;

    // Makes ports/comN lead to target, replacing an older link in one step, so
    // the number never points nowhere: a link for a device, a file holding the
    // address for a network address. False with *error set when that failed.
    bool writeLink(int portNumber, const QString &target, QString *error) const;

private:
    QString linkPath(int portNumber) const;
    bool writeAddress(const QString &link, const QString &address, QString *error) const;
    bool isLink(int portNumber) const;
    const QList<SystemPort> &systemPorts() const;
    QString byIdNameOf(const QString &systemPath) const;

    QString m_folder;
    PortSources m_sources;
    mutable std::optional<QList<SystemPort>> m_systemPorts;
};
