#pragma once

#include "base/Globals.h"
#include "base/MessageLog.h"
#include "serial/PortCaption.h"
#include "serial/SerialBackend.h"

#include <QString>

#include <optional>

// The one serial port to the converter (module Datacom): open with the code
// table, close, send and poll single bytes, with the activity flags of the lamps.
class Datacom
{
public:
    Datacom(Globals &globals, MessageLog &log, SerialBackend &backend, PortCaption &caption);
    ~Datacom();

    // Codes: speed 0 "300", 1 "1200", 2 "2400", 3 "4800", 5 "19200", else "9600";
    // parity 1 E, 2 O, else N; data bits 0 -> 7, else 8; stop bits 1 -> 2, else 1.
    static QString SettingsText(int speed, int parity, int dataBits, int stopBits);
    // The same codes as the settings a port is opened with.
    static LineSettings LineSettingsFor(int speed, int parity, int dataBits, int stopBits);

    // Opens port index + 1; 0 on success, -1 on failure (both logged).
    int OpenComPort(int portIndex, int speed, int parity, int dataBits, int stopBits,
                    int handshake);
    void CloseComPort();
    int SendComByte(int byte);
    int ReadComByte();
    // True when received bytes are waiting to be read.
    bool HasInput() { return m_backend.bytesAvailable() > 0; }
    void ClearComInput();
    int IsComPortOpen();
    // True while an open is still connecting (a network address): its end logs the
    // open or its failure, as OpenComPort would have, and then counts as the open.
    bool IsComPortOpening() const { return m_pendingOpen.has_value(); }

    // A device path that replaces the port mapping (the command-line tool's
    // --port DEVICE); log lines and caption then show the path for the number.
    void setDeviceOverride(const QString &device) { m_deviceOverride = device; }
    const QString &deviceOverride() const { return m_deviceOverride; }

    // Called after every successful OpenComPort (an engine still waiting for its
    // start call starts here).
    std::function<void()> onOpened;

private:
    // What OpenComPort reports once an open that needed time has ended.
    struct PendingOpen
    {
        QString portLabel;
        QString portName;
        QString settingsText;
        QString device;
    };
    void finishPendingOpen();
    void reportOpened(const PendingOpen &open);
    void reportOpenFailure(const PendingOpen &open, const QString &error);

    Globals &m_globals;
    MessageLog &m_log;
    SerialBackend &m_backend;
    PortCaption &m_caption;
    QString m_deviceOverride;
    std::optional<PendingOpen> m_pendingOpen;
};
