#pragma once

#include <QList>
#include <QNetworkInterface>
#include <QPair>
#include <QString>

#include <functional>

// Flags and hardware address of each network interface, in the platform's order.
using ZuInterfaceList = QList<QPair<QNetworkInterface::InterfaceFlags, QString>>;

// The serial sent as "Session-Id": the encrypted hardware address, empty without a usable adapter.
QString device_serial();

// The address of the first interface that is up, running and not loopback. Once found it is
// kept for the rest of the process, so every serial of a run is the same; while none is found
// each call looks again.
QString hardware_address();

// AES-128 ECB with zero padding under the built-in key, in Base64.
QString encrypt_serial(const QString& text);

// For tests: replace the source of the interface list (an empty function restores the
// platform's), and forget the kept address.
void set_interface_source(std::function<ZuInterfaceList()> source);
void reset_hardware_address();
