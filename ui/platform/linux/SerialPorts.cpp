#include "rangeview/ui/SerialPorts.h"

#include <QSerialPortInfo>

namespace rv {

QStringList EnumerateSerialPorts()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    names.reserve(ports.size());
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    return names;
}

} // namespace rv
