#pragma once

#include <QHostAddress>
#include <QList>

// Every address configured on the machine's network interfaces, in the order
// the operating system lists them; no interface flag is looked at. At least
// the IPv4 addresses: the Windows version asks for nothing else.
QList<QHostAddress> interfaceAddresses();
