#pragma once

#include <QList>
#include <QNetworkAddressEntry>

// Every address configured on the machine's network interfaces, with its
// prefix length, in the order the operating system lists them; no interface
// flag is looked at. At least the IPv4 addresses: the Windows version asks
// for nothing else.
QList<QNetworkAddressEntry> interfaceAddresses();
