#include "serial/PortBackend.h"

#include "serial/NetworkAddress.h"

PortBackend::PortBackend()
{
    forward(m_serial);
    forward(m_network);
}

PortBackend::~PortBackend()
{
    for (SerialBackend *inner :
         {static_cast<SerialBackend *>(&m_serial), static_cast<SerialBackend *>(&m_network)}) {
        inner->onPortLost = nullptr;
        inner->onBytesArrived = nullptr;
        inner->onOpenFinished = nullptr;
    }
}

void PortBackend::forward(SerialBackend &inner)
{
    inner.onPortLost = [this](const QString &error) {
        if (onPortLost)
            onPortLost(error);
    };
    inner.onBytesArrived = [this] {
        if (onBytesArrived)
            onBytesArrived();
    };
    inner.onOpenFinished = [this, &inner] {
        m_openFailure = inner.lastOpenFailure();
        if (onOpenFinished)
            onOpenFinished();
    };
}

bool PortBackend::open(const QString &device, const LineSettings &settings)
{
    SerialBackend *next = NetworkAddress::looksLikeAddress(device)
                              ? static_cast<SerialBackend *>(&m_network)
                              : static_cast<SerialBackend *>(&m_serial);
    // The other kind of port may not stay open (or connecting) behind this one.
    if (next != m_active)
        m_active->close();
    m_active = next;
    const bool opened = m_active->open(device, settings);
    m_openFailure = m_active->lastOpenFailure();
    return opened;
}
