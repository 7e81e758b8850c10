#pragma once

#include <QStringList>

#include <functional>

namespace rv {

// The serial ports present, by name, in the order the system lists them (not sorted).
// The one place that asks the platform; another platform's port list slots in here.
QStringList EnumerateSerialPorts();

// Lets tests hand the window a fixed port list.
using PortLister = std::function<QStringList()>;

} // namespace rv
