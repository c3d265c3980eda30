#include "interfaceaddresses.h"

// winsock2.h before the others, which would bring in the old winsock.h.
#include <winsock2.h>

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

// QNetworkInterface asks for every family together with the prefixes, a
// request that some stacks (Wine's among them) refuse as a whole, and then it
// lists no interface at all. Only the IPv4 unicast addresses are needed here,
// and they are asked for alone.
QList<QNetworkAddressEntry> interfaceAddresses()
{
    constexpr ULONG flags =
        GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The table may grow between the call that sizes it and the one that fills it.
    ULONG size = 16 * 1024;
    std::vector<ULONGLONG> table; // aligned as the adapter records need
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        table.resize(size / sizeof(ULONGLONG) + 1);
        size = ULONG(table.size() * sizeof(ULONGLONG));
        result = GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES *>(table.data()), &size);
    }
    QList<QNetworkAddressEntry> addresses;
    if (result != NO_ERROR)
        return addresses;
    for (auto *adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES *>(table.data()); adapter;
         adapter = adapter->Next) {
        for (auto *unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            QNetworkAddressEntry entry;
            entry.setIp(QHostAddress(unicast->Address.lpSockaddr));
            entry.setPrefixLength(unicast->OnLinkPrefixLength);
            addresses.append(entry);
        }
    }
    return addresses;
}
