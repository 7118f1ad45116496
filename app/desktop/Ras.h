// The online test: the machine counts as online when a network interface other than the
// loopback is up with an address. Nothing is contacted.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct TNetInterface {
    std::string name;
    bool up = false;
    bool loopback = false;
    bool hasAddress = false; // an IPv4 or IPv6 address
};

// The interfaces as the system lists them (getifaddrs), one entry per address.
std::vector<TNetInterface> ListNetInterfaces();
// The rule, over a list the caller gives (tests feed their own).
bool IsOnlineFrom(const std::vector<TNetInterface>& interfaces);
// Where IsOnline takes the interfaces from: ListNetInterfaces unless a test set another.
std::function<std::vector<TNetInterface>()>& NetInterfaceSource();
inline bool IsOnline() {
    auto& source = NetInterfaceSource();
    return IsOnlineFrom(source ? source() : ListNetInterfaces());
}
