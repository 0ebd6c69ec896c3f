#include <windows.h>
// clang-format off
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on
#include <string.h>

#include "devices/device_inventory.h"

namespace {

// The port a detected device hangs on is its parent's "PortName" (LPT1).
void read_parent_port_name(DEVINST device, ParallelPort* slot) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) return;
    WCHAR instance_id[MAX_DEVICE_ID_LEN + 1];
    if (CM_Get_Device_IDW(parent, instance_id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return;
    HDEVINFO list = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (list == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA parent_data;
    memset(&parent_data, 0, sizeof parent_data);
    parent_data.cbSize = sizeof parent_data;
    if (SetupDiOpenDeviceInfoW(list, instance_id, nullptr, 0, &parent_data)) {
        HKEY key = SetupDiOpenDevRegKey(list, &parent_data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
            DWORD type = 0;
            DWORD size = sizeof slot->port - sizeof slot->port[0];  // the last unit stays for the NUL
            if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<LPBYTE>(slot->port), &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ) {
                slot->port[0] = 0;
            }
            slot->port[DEVICE_PORT_ROOM - 1] = 0;
            RegCloseKey(key);
        }
    }
    SetupDiDestroyDeviceInfoList(list);
}

}  // namespace

void collect_parallel_ports(DeviceInventory* devices) {
    devices->lpt_count = 0;
    HDEVINFO list = SetupDiGetClassDevsW(nullptr, L"LPTENUM", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (list == INVALID_HANDLE_VALUE) return;
    for (DWORD index = 0; devices->lpt_count < MAX_PARALLEL_PORTS; ++index) {
        SP_DEVINFO_DATA device_data;
        memset(&device_data, 0, sizeof device_data);
        device_data.cbSize = sizeof device_data;
        if (!SetupDiEnumDeviceInfo(list, index, &device_data)) break;
        ParallelPort* slot = &devices->lpt_ports[devices->lpt_count];
        memset(slot, 0, sizeof *slot);
        find_pnp_id(device_data.DevInst, L"LPTENUM\\", slot->pnp);
        read_parent_port_name(device_data.DevInst, slot);
        if (slot->pnp[0] != 0) ++devices->lpt_count;  // the port name is best effort
    }
    SetupDiDestroyDeviceInfoList(list);
}
