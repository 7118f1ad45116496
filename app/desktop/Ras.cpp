#include "app/desktop/Ras.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

std::vector<TNetInterface> ListNetInterfaces() {
    std::vector<TNetInterface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        TNetInterface n;
        n.name = i->ifa_name ? i->ifa_name : "";
        n.up = (i->ifa_flags & IFF_UP) && (i->ifa_flags & IFF_RUNNING);
        n.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        n.hasAddress =
            i->ifa_addr && (i->ifa_addr->sa_family == AF_INET || i->ifa_addr->sa_family == AF_INET6);
        out.push_back(n);
    }
    freeifaddrs(list);
    return out;
}

bool IsOnlineFrom(const std::vector<TNetInterface>& interfaces) {
    for (const auto& i : interfaces)
        if (i.up && !i.loopback && i.hasAddress) return true;
    return false;
}

std::function<std::vector<TNetInterface>()>& NetInterfaceSource() {
    static std::function<std::vector<TNetInterface>()> source;
    return source;
}
