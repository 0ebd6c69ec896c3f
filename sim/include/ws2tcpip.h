// The simulated Windows: <ws2tcpip.h>, name resolution as the program uses it.
#pragma once

#include <winsock2.h>

typedef struct addrinfoW {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    PWSTR ai_canonname;
    struct sockaddr* ai_addr;
    struct addrinfoW* ai_next;
} ADDRINFOW, *PADDRINFOW;

#define AI_NUMERICHOST 0x00000004

#ifdef __cplusplus
extern "C" {
#endif

int WSAAPI GetAddrInfoW(PCWSTR pNodeName, PCWSTR pServiceName, const ADDRINFOW* pHints, PADDRINFOW* ppResult);
void WSAAPI FreeAddrInfoW(PADDRINFOW pAddrInfo);

#ifdef __cplusplus
}
#endif
