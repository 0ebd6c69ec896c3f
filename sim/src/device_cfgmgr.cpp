// The simulated configuration manager: a device node's child, parent, id and
// id lists. Its calls answer through their result and leave the last error alone.
#include <cstring>

#include "device_model.h"

using namespace sim;

namespace {

constexpr DWORD kCmDrpMax = 0x23;
constexpr CONFIGRET kCrFailure = 0x13;
constexpr CONFIGRET kCrInvalidProperty = 0x35;

// CM_Get_Child and CM_Get_Parent: the same checks, then the one relative the
// model gives the node (0: none).
CONFIGRET give_relative(const char* function, PDEVINST out, DEVINST node, ULONG flags, DEVINST (*relative)(DEVINST)) {
    if (DWORD error = injected_failure(function, kCrFailure)) return error;
    if (out == nullptr) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    if (!node_exists(node)) return CR_INVALID_DEVNODE;
    DEVINST found = relative(node);
    if (found == 0 || !node_exists(found)) return CR_NO_SUCH_DEVNODE;
    *out = found;
    return CR_SUCCESS;
}

DEVINST child_of(DEVINST node) {
    if (kind_of(node) == kUsbDevice) return node_of(kUsbChild, index_of(node));
    if (kind_of(node) == kLptParent) return node_of(kLptDevice, index_of(node));
    return 0;
}

// The tree holds only the modelled nodes: a USB device's hub is not among them.
DEVINST parent_of(DEVINST node) {
    if (kind_of(node) == kUsbChild) return node_of(kUsbDevice, index_of(node));
    if (kind_of(node) == kLptDevice) return node_of(kLptParent, index_of(node));
    return 0;
}

}  // namespace

extern "C" {

CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    return give_relative("CM_Get_Child", pdnDevInst, dnDevInst, ulFlags, child_of);
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    return give_relative("CM_Get_Parent", pdnDevInst, dnDevInst, ulFlags, parent_of);
}

CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags) {
    if (DWORD error = injected_failure("CM_Get_Device_IDW", kCrFailure)) return error;
    if (Buffer == nullptr) return CR_INVALID_POINTER;
    if (ulFlags != 0) return CR_INVALID_FLAG;
    if (!node_exists(dnDevInst)) return CR_INVALID_DEVNODE;
    std::u16string id = instance_id(dnDevInst);
    // Without room for the NUL, as much of the id as fits, unterminated.
    if (BufferLen < id.size() + 1) {
        std::memcpy(Buffer, id.data(), BufferLen * sizeof(WCHAR));
        return CR_BUFFER_SMALL;
    }
    std::memcpy(Buffer, id.c_str(), (id.size() + 1) * sizeof(WCHAR));
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyW(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType,
                                                   PVOID Buffer, PULONG pulLength, ULONG ulFlags) {
    if (DWORD error = injected_failure("CM_Get_DevNode_Registry_PropertyW", kCrFailure)) return error;
    if (pulLength == nullptr || (Buffer == nullptr && *pulLength != 0)) return CR_INVALID_POINTER;
    if (ulFlags != 0) return CR_INVALID_FLAG;
    if (!node_exists(dnDevInst)) return CR_INVALID_DEVNODE;
    if (ulProperty < CM_DRP_DEVICEDESC || ulProperty > kCmDrpMax) return kCrInvalidProperty;
    IdList ids = ids_of(dnDevInst, ulProperty);
    if (!ids) return CR_NO_SUCH_VALUE;
    std::string bytes = multi_sz(*ids);
    if (pulRegDataType != nullptr) *pulRegDataType = REG_MULTI_SZ;
    ULONG offered = *pulLength;
    *pulLength = static_cast<ULONG>(bytes.size());
    if (offered < bytes.size()) return CR_BUFFER_SMALL;
    std::memcpy(Buffer, bytes.data(), bytes.size());
    return CR_SUCCESS;
}

}  // extern "C"
