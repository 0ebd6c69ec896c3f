// Where a network queue prints: the Standard TCP/IP port monitor keeps each
// port's target under its key; Web Services for Devices ports keep theirs
// elsewhere and are only named as network ports.
#include "network/net_ports.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "base/wide.h"
#include "output/text_buffer.h"

namespace {

const WCHAR kPortsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";
const DWORD kRawPort = 9100;  // the monitor's default when PortNumber is absent
const DWORD kLprPort = 515;   // LPR always listens there
const DWORD kProtocolRaw = 1;
const DWORD kProtocolLpr = 2;

enum ValueRead : int { VALUE_MISSING, VALUE_READ, VALUE_BAD };

// A REG_SZ value into `room` (NET_NAME_ROOM units). The stored string need
// not end with a NUL: its length comes from the bytes returned. Longer than
// 255 characters, of another type or unreadable: VALUE_BAD.
ValueRead read_text(HKEY key, const WCHAR* name, WCHAR* room) {
    DWORD type = REG_NONE;
    DWORD size = NET_NAME_ROOM * sizeof(WCHAR);
    LONG read = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(room), &size);
    if (read == ERROR_FILE_NOT_FOUND) return VALUE_MISSING;
    if (read != ERROR_SUCCESS || type != REG_SZ) return VALUE_BAD;
    size_t units = size / sizeof(WCHAR);
    if (units > 0 && room[units - 1] == 0) --units;
    if (units >= NET_NAME_ROOM) return VALUE_BAD;
    room[units] = 0;
    return VALUE_READ;
}

ValueRead read_number(HKEY key, const WCHAR* name, DWORD* number) {
    DWORD type = REG_NONE;
    DWORD size = sizeof *number;
    LONG read = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(number), &size);
    if (read == ERROR_FILE_NOT_FOUND) return VALUE_MISSING;
    return read == ERROR_SUCCESS && type == REG_DWORD && size == sizeof *number ? VALUE_READ : VALUE_BAD;
}

// Host, TCP port, protocol and LPR queue from the port's key, as the monitor
// uses them; false when any of them cannot be trusted.
bool read_target(HKEY key, NetPort* out) {
    ValueRead host = read_text(key, L"HostName", out->host);
    if (host == VALUE_BAD) return false;
    if (host == VALUE_MISSING || out->host[0] == 0) {
        if (read_text(key, L"IPAddress", out->host) == VALUE_BAD) return false;
    }
    DWORD protocol = kProtocolRaw;
    out->tcp = kRawPort;
    if (read_number(key, L"PortNumber", &out->tcp) == VALUE_BAD || out->tcp == 0 || out->tcp > 65535) return false;
    if (read_number(key, L"Protocol", &protocol) == VALUE_BAD) return false;
    if (protocol == kProtocolLpr) {
        out->protocol = NET_PROTOCOL_LPR;
        out->tcp = kLprPort;
        return read_text(key, L"Queue", out->queue) != VALUE_BAD;
    }
    return protocol == kProtocolRaw;
}

}  // namespace

bool read_net_port(const WCHAR* port_name, NetPort* out) {
    memset(out, 0, sizeof *out);
    size_t length = wide_length(port_name);
    if (length == 0 || length >= NET_NAME_ROOM) return false;  // no key name is that long
    wide_copy(out->port, NET_NAME_ROOM, port_name);
    WCHAR path[sizeof kPortsKey / sizeof(WCHAR) + NET_NAME_ROOM];
    wide_copy(path, sizeof path / sizeof(WCHAR), kPortsKey);
    wide_copy(path + wide_length(kPortsKey), NET_NAME_ROOM, port_name);
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        // The shop may name a Standard TCP/IP port anything, "WSD_Kitchen"
        // too, so only a port without that key is taken for a WSD port.
        out->wsd = wide_equal_nocase_n(port_name, L"WSD", 3);
        return out->wsd;
    }
    if (opened != ERROR_SUCCESS) return true;  // a network port whose address cannot be read
    bool known = read_target(key, out);
    RegCloseKey(key);
    if (!known || out->host[0] == 0) {
        // Whatever was read before the value that failed is no address either.
        out->host[0] = 0;
        out->queue[0] = 0;
        out->tcp = 0;
        out->protocol = NET_PROTOCOL_RAW;
    }
    return true;
}

NetPorts* new_net_ports() {
    NetPorts* ports = static_cast<NetPorts*>(calloc(1, sizeof(NetPorts)));
    if (ports == nullptr) out_of_memory();
    return ports;
}

const NetPort* find_net_port(const NetPorts& ports, const WCHAR* port_name) {
    for (int i = 0; i < ports.count; ++i) {
        if (wide_equal_nocase(ports.ports[i].port, port_name)) return &ports.ports[i];
    }
    return nullptr;
}

void add_net_port(NetPorts* ports, const WCHAR* port_name) {
    for (int i = 0; i < ports->count; ++i) {
        if (wide_equal_nocase(ports->ports[i].port, port_name)) return;
    }
    if (ports->count < MAX_NET_PORTS && read_net_port(port_name, &ports->ports[ports->count])) ++ports->count;
}
