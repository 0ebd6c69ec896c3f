// The TCP/IP port keys and Windows Sockets as the simulator keeps them, call
// by call on scenarios/tcp_ports.json and scenarios/network.json: what each
// call returns, the last error it leaves, the virtual clock and the audit.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/transcript.h"

namespace {

using namespace transcript;

const HKEY kUntouched = reinterpret_cast<HKEY>(0x5a5a);
const HKEY kCurrentUser = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001)));

// The key path of a TCP/IP port, kept until the next call.
LPCWSTR port_key(const char16_t* port) {
    static std::u16string path;
    path = std::u16string(u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\") + port;
    return reinterpret_cast<LPCWSTR>(path.c_str());
}

LPCWSTR w(const char16_t* text) {
    return reinterpret_cast<LPCWSTR>(text);
}

// " [name] [name]" or " nothing".
std::string open_now() {
    std::string text;
    for (const std::string& name : sim::leaks()) text += " [" + name + "]";
    return "  open:" + (text.empty() ? " nothing" : text) + "\n";
}

// A value read with `room` bytes offered (none for 0): the result, the type and size reported, the bytes given.
std::string query(HKEY key, const char16_t* name, DWORD room) {
    BYTE data[600];
    std::memset(data, 0xCC, sizeof data);
    DWORD type = kMarker, size = room;
    SetLastError(kMarker);
    LONG result = RegQueryValueExW(key, w(name), nullptr, &type, room > 0 ? data : nullptr, &size);
    std::string text = "  " + sim::utf16_to_utf8(name) + ", room " + std::to_string(room) + ": " + outcome(result) +
                       ", type " + (type == kMarker ? "untouched" : std::to_string(type)) + ", size " +
                       std::to_string(size);
    DWORD given = room > 0 && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) ? std::min(size, room) : 0;
    return text + (given > 0 ? ", data " + hex(std::string(data, data + std::min<DWORD>(given, 24))) : "") + "\n";
}

using NetworkContract = SimTest;

TEST_F(NetworkContract, TcpPortKeysOpenAndReadAsTheRegistryDoes) {
    load("tcp_ports");
    sim::TcpPortKey long_name;  // a HostName of 256 characters
    long_name.values.emplace_back(u"HostName", sim::reg_sz(std::u16string(256, u'x')));
    sim::computer().tcp_ports.emplace_back(u"Long", long_name);
    sim::computer().clean_up_error = kCleanUpMarker;
    std::string text;
    HKEY key = kUntouched, kitchen = kUntouched, other = kUntouched;
    auto handed = [&](HKEY k) { return k == kUntouched ? "untouched" : k == nullptr ? "null" : "a key"; };
#define OPEN(call, k)                                                             \
    (k = kUntouched, SetLastError(kMarker), text += #call " -> " + outcome(call), \
     text += "\n  key: ", text += handed(k), text += "\n")
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"IP_192.168.1.50"), 0, KEY_READ, &key), key);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"kitchen"), 0, KEY_READ | KEY_WOW64_64KEY, &kitchen), kitchen);
    text += open_now();
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                       w(u"system\\currentcontrolset\\control\\print\\monitors\\standard "
                         u"tcp/ip port\\ports\\LONG"),
                       0, KEY_QUERY_VALUE, &other),
         other);
    text += query(other, u"HostName", 512) + query(other, u"HostName", 514);
    RegCloseKey(other);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"Locked"), 0, KEY_READ, &other), other);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"Gone"), 0, KEY_READ, &other), other);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"USB001"), 0, KEY_READ, &other), other);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u""), 0, KEY_READ, &other), other);
    OPEN(RegOpenKeyExW(kCurrentUser, port_key(u"Kitchen"), 0, KEY_READ, &other), other);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"Kitchen"), 0, KEY_READ | 0x0002 /* KEY_SET_VALUE */, &other),
         other);
    STEP(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"Kitchen"), 0, KEY_READ, nullptr));
    sim::computer().faults = {{"RegOpenKeyExW", sim::computer().call_counts["RegOpenKeyExW"] + 1, 1722},
                              {"RegOpenKeyExW", sim::computer().call_counts["RegOpenKeyExW"] + 2, std::nullopt}};
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"Kitchen"), 0, KEY_READ, &other), other);
    OPEN(RegOpenKeyExW(HKEY_LOCAL_MACHINE, port_key(u"Kitchen"), 0, KEY_READ, &other), other);
#undef OPEN
    text += "IP_192.168.1.50\n";
    for (const char16_t* name : {u"HostName", u"IPAddress", u"PortNumber", u"Protocol", u"Queue", u"snmp community"}) {
        text += query(key, name, 0);
    }
    text += query(key, u"HostName", 2) + query(key, u"IPAddress", 24) + query(key, u"IPAddress", 26) +
            query(key, u"PortNumber", 3) + query(key, u"PortNumber", 4);
    text += "Kitchen\n" + query(kitchen, u"HostName", 512) + query(kitchen, u"IPAddress", 512) +
            query(kitchen, u"PortNumber", 512) + query(kitchen, u"Protocol", 512) + query(kitchen, u"Queue", 512);
    STEP(RegCloseKey(key));
    STEP(RegCloseKey(key));
    STEP(RegCloseKey(kitchen));
    expect_golden(text + open_now());
}

// The sockets of a set by their names in the test, after the call's result.
std::string in_set(const char* label, const fd_set& set, const std::map<SOCKET, std::string>& names) {
    std::string text = std::string(", ") + label + ":";
    for (u_int i = 0; i < set.fd_count; ++i) text += " " + names.at(set.fd_array[i]);
    return set.fd_count == 0 ? "" : text;
}

std::string clock_now() {
    return "  clock: " + std::to_string(sim::computer().clock.elapsed_ms) + " ms, tick " +
           std::to_string(sim::computer().clock.start_tick + sim::computer().clock.elapsed_ms) + "\n";
}

TEST_F(NetworkContract, WinsockConnectsOnTheVirtualClock) {
    load("network");
    sim::computer().clean_up_error = kCleanUpMarker;
    std::string text = "before WSAStartup\n";
    WSADATA data;
    ADDRINFOW* found = nullptr;
    ADDRINFOW hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    fd_set writable, failed;
    FD_ZERO(&writable);
    timeval second = {1, 0};
    STEP(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    STEP(GetAddrInfoW(w(u"kitchen.local"), nullptr, &hints, &found));
    STEP(select(0, nullptr, &writable, nullptr, &second));
    STEP(WSACleanup());
    STEP(WSAStartup(MAKEWORD(2, 2), &data));
    text += "  version " + std::to_string(data.wVersion) + ", highest " + std::to_string(data.wHighVersion) + "\n";
    STEP(WSAStartup(MAKEWORD(2, 2), &data));  // counted: each needs its WSACleanup
    STEP(WSACleanup());

    text += "names\n";
    std::vector<ADDRINFOW*> lists;
    for (const char16_t* name :
         {u"kitchen.local", u"KITCHEN.LOCAL", u"10.1.2.3", u"bar.local", u"nowhere.local", u"192.168.1.256", u""}) {
        found = nullptr;
        text += sim::utf16_to_utf8(name) + ": ";
        STEP(GetAddrInfoW(w(name), nullptr, &hints, &found));
        if (found == nullptr) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        text += "  family " + std::to_string(found->ai_family) + ", type " + std::to_string(found->ai_socktype) +
                ", length " + std::to_string(found->ai_addrlen) + ", address " +
                hex(std::string(reinterpret_cast<const char*>(address), sizeof *address)) + "\n";
        lists.push_back(found);
    }
    text += open_now() + clock_now();
    for (ADDRINFOW* list : lists) FreeAddrInfoW(list);
    text += "freed\n" + open_now();

    // Non-blocking connects: one socket per target, by name in the text.
    std::map<SOCKET, std::string> names;
    auto open_to = [&](const char* label, const char* address, u_short port) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long one = 1;
        ioctlsocket(s, FIONBIO, &one);
        sockaddr_in target;
        std::memset(&target, 0, sizeof target);
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        sim::parse_ipv4(address, &target.sin_addr.s_addr);
        names[s] = label;
        SetLastError(kMarker);
        int result = connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        text +=
            std::string(label) + " " + address + ":" + std::to_string(port) + ": connect -> " + outcome(result) + "\n";
        return s;
    };
    text += "at once (delay 0)\n";
    for (u_short port : {9100, 9101, 9102, 9103}) closesocket(open_to("now", "127.0.0.1", port));
    text += "after a delay\n";
    SOCKET answers = open_to("answers", "192.168.1.50", 9100), refuses = open_to("refuses", "192.168.1.50", 515),
           unreachable = open_to("unreachable", "192.168.1.51", 9100), silent = open_to("silent", "192.168.1.52", 9100),
           unlisted = open_to("unlisted", "10.9.9.9", 9100);
    STEP(connect(answers, nullptr, 0));
    int error = 0, length = sizeof error;
    STEP(getsockopt(refuses, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length));
    text += "  SO_ERROR " + std::to_string(error) + " while pending\n" + open_now();
    std::vector<SOCKET> waiting = {answers, refuses, unreachable, silent, unlisted};
    for (int round = 0; round < 4; ++round) {
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        for (SOCKET s : waiting) {
            FD_SET(s, &writable);
            FD_SET(s, &failed);
        }
        timeval limit = {0, 700000};
        SetLastError(kMarker);
        int ready = select(0, nullptr, &writable, &failed, &limit);
        text += "select(write and except, 700 ms) -> " + outcome(ready) + in_set("write", writable, names) +
                in_set("except", failed, names) + "\n" + clock_now();
        for (SOCKET s : std::vector<SOCKET>(waiting)) {
            if (!FD_ISSET(s, &writable) && !FD_ISSET(s, &failed)) continue;
            length = sizeof error;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
            text += "  " + names[s] + ": SO_ERROR " + std::to_string(error) + "\n";
            waiting.erase(std::find(waiting.begin(), waiting.end(), s));
        }
    }
    text += "a failed connection is never writable\n";
    SOCKET late = open_to("refuses", "192.168.1.50", 515);
    FD_ZERO(&writable);
    FD_SET(late, &writable);
    timeval half = {0, 500000};
    STEP(select(0, nullptr, &writable, nullptr, &half));
    text += clock_now();
    FD_SET(silent, &writable);
    STEP(select(0, nullptr, &writable, nullptr, nullptr));  // nothing can ever be reported: refused, not a hang
    FD_ZERO(&writable);
    FD_SET(answers, &writable);
    STEP(select(0, nullptr, &writable, nullptr, nullptr));
    STEP(select(0, nullptr, nullptr, nullptr, &second));
    FD_SET(static_cast<SOCKET>(7), &writable);
    STEP(select(0, nullptr, &writable, nullptr, &second));
    text += "calls that cannot go on\n";
    u_long one = 1;
    STEP(connect(answers, reinterpret_cast<const sockaddr*>(&hints), sizeof hints));
    STEP(connect(silent, reinterpret_cast<const sockaddr*>(&hints), sizeof hints));
    STEP(ioctlsocket(answers, 0x4004667F /* FIONREAD */, &one));
    STEP(getsockopt(answers, SOL_SOCKET, 0x0008 /* SO_KEEPALIVE */, reinterpret_cast<char*>(&error), &length));
    STEP(socket(AF_INET, 2 /* SOCK_DGRAM */, 0));
    for (SOCKET s : {answers, refuses, unreachable, silent, unlisted, late}) closesocket(s);
    STEP(closesocket(answers));
    text += "blocking connects wait\n";
    SOCKET blocking = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    names[blocking] = "blocking";
    sockaddr_in target;
    std::memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    STEP(connect(blocking, reinterpret_cast<const sockaddr*>(&target), sizeof target));  // port 0, address 0
    closesocket(blocking);
    for (const char* address : {"192.168.1.50", "192.168.1.52"}) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        target.sin_port = htons(9100);
        sim::parse_ipv4(address, &target.sin_addr.s_addr);
        STEP(connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target));
        text += clock_now();
        closesocket(s);
    }
    text += open_now();
    STEP(WSACleanup());
    STEP(WSACleanup());
    text += open_now();
    text += "state file connections\n";
    const nlohmann::ordered_json state = nlohmann::ordered_json::parse(sim::state_json());
    for (const auto& connection : state.at("connections")) text += "  " + connection.dump() + "\n";
    expect_golden(text);
}

// What a lookup thread of the test is given, and finds on its own clock.
struct Lookup {
    const char16_t* name;
    int error;
    DWORD tick;  // GetTickCount when the lookup has ended
};

DWORD WINAPI look_up(void* parameter) {
    auto* lookup = static_cast<Lookup*>(parameter);
    ADDRINFOW* found = nullptr;
    SetLastError(7);  // the thread's own last error
    lookup->error = GetAddrInfoW(w(lookup->name), nullptr, nullptr, &found);
    if (found != nullptr) FreeAddrInfoW(found);
    lookup->tick = GetTickCount();
    return 40 + static_cast<DWORD>(lookup->error != 0);
}

// Threads run at once, on clocks of their own; waiting moves the program's
// clock to their ends, or by the timeout, after which they run for ever.
TEST_F(NetworkContract, ThreadsRunAtOnceOnClocksOfTheirOwn) {
    load("network");
    sim::computer().clean_up_error = kCleanUpMarker;
    std::string text;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Lookup lookups[] = {{u"kitchen.local", -1, 0}, {u"slow.local", -1, 0}, {u"late.local", -1, 0}};
    HANDLE threads[3];
    DWORD code = 0, id = 0;
    for (int i = 0; i < 3; ++i) {
        STEP(threads[i] = CreateThread(nullptr, 0, look_up, &lookups[i], 0, i == 0 ? &id : nullptr));
        text += "  " + sim::utf16_to_utf8(lookups[i].name) + ": error " + std::to_string(lookups[i].error) +
                ", its tick " + std::to_string(lookups[i].tick) + "\n";
    }
    text += "  thread id " + std::to_string(id) + "\n" + clock_now() + open_now();
    STEP(GetExitCodeThread(threads[1], &code));
    text += "  slow.local's exit code " + std::to_string(code) + "\n";
    STEP(WaitForMultipleObjects(3, threads, FALSE, 1000));
    STEP(WaitForMultipleObjects(2, threads + 1, FALSE, 1000));
    text += clock_now();
    STEP(WaitForMultipleObjects(3, threads, TRUE, 1000));  // late.local ends at 2500: given up at 1300
    text += clock_now();
    for (HANDLE thread : threads) {
        STEP(GetExitCodeThread(thread, &code));
        text += "  exit code " + std::to_string(code) + "\n";
    }
    STEP(WaitForSingleObject(threads[2], 5000));  // given up: it never ends, whatever its clock said
    text += clock_now();
    STEP(WaitForSingleObject(threads[2], INFINITE));  // would hang on Windows
    STEP(WaitForSingleObject(threads[0], INFINITE));
    text += "calls that cannot go on\n";
    HANDLE twice[2] = {threads[0], threads[0]};
    STEP(WaitForMultipleObjects(0, threads, FALSE, 0));
    STEP(WaitForMultipleObjects(65, threads, FALSE, 0));
    STEP(WaitForMultipleObjects(2, twice, TRUE, 0));
    STEP(WaitForSingleObject(reinterpret_cast<HANDLE>(&data), 0));
    STEP(GetExitCodeThread(reinterpret_cast<HANDLE>(&data), &code));
    STEP(CreateThread(nullptr, 0, look_up, &lookups[0], 4 /* CREATE_SUSPENDED */, nullptr));
    sim::computer().faults = {{"CreateThread", 0, 8}};
    STEP(CreateThread(nullptr, 0, look_up, &lookups[0], 0, nullptr));
    text += "a running thread's handle and memory are no leaks; a finished one's handle is\n" + open_now();
    STEP(CloseHandle(threads[0]));
    STEP(CloseHandle(threads[0]));
    STEP(CloseHandle(threads[1]));
    STEP(CloseHandle(threads[2]));
    sim::computer().program_running = true;  // the program's heap, as while wmain runs
    void* block = malloc(16);
    sim::computer().faults.clear();
    HANDLE holder = CreateThread(nullptr, 0, look_up, &lookups[2], 0, nullptr);  // runs until 3800 + 2500
    CloseHandle(holder);
    sim::computer().threads.back()->parameter = static_cast<char*>(block) + 8;
    free(block);
    sim::computer().program_running = false;
    STEP(WSACleanup());
    text += open_now();
    allow_leaks();
    expect_golden(text);
}

// A startup that fails leaves Windows Sockets unusable; an injected fault
// fails a call before it does anything, and a call that returns its error
// returns the injected one.
TEST_F(NetworkContract, StartupErrorsAndInjectedFaults) {
    sim::load_scenario(
        R"({"network": {"startup_error": 10091, "hosts": {"127.0.0.1": {"tcp": {"9100": "answers"}}}}})");
    WSADATA data;
    ADDRINFOW* found = nullptr;
    std::string text;
    STEP(WSAStartup(MAKEWORD(2, 2), &data));
    STEP(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sim::computer().network.startup_error = 0;
    STEP(WSAStartup(0, &data));
    sim::computer().faults = {{"WSAStartup", 3, 10067},   {"WSAStartup", 4, std::nullopt},
                              {"GetAddrInfoW", 1, 11002}, {"GetAddrInfoW", 2, std::nullopt},
                              {"connect", 1, 10055},      {"WSAGetLastError", 0, 5}};
    STEP(WSAStartup(MAKEWORD(2, 2), &data));
    STEP(WSAStartup(MAKEWORD(2, 2), &data));
    STEP(WSAStartup(MAKEWORD(2, 2), &data));
    STEP(GetAddrInfoW(w(u"127.0.0.1"), nullptr, nullptr, &found));
    STEP(GetAddrInfoW(w(u"127.0.0.1"), nullptr, nullptr, &found));
    STEP(GetAddrInfoW(w(u"127.0.0.1"), w(u"9100"), nullptr, &found));
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    STEP(connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)));
    text += "  WSAGetLastError() " + std::to_string(WSAGetLastError()) + "\n";  // it cannot fail
    STEP(connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)));
    text += "  port " + std::to_string(htons(address->sin_port)) + "\n" + open_now();
    FreeAddrInfoW(found);
    closesocket(s);
    WSACleanup();
    expect_golden(text + open_now() + "connections: " + std::to_string(sim::computer().network.connections.size()) +
                  "\n");
}

}  // namespace
