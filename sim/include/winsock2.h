// The simulated Windows: <winsock2.h>, the Windows Sockets 2 names, records
// and calls the program uses, as the SDK declares them. On Windows `long` and
// `u_long` are 32-bit, so they are LONG and ULONG here.
#pragma once

#include <windows.h>

// glibc has its own fd_set, timeval, u_long, sockaddr, select, connect... and
// the C++ headers bring some of them in. So glibc's headers come first, under
// their own names, and the Windows names the program writes are turned into
// sim_ ones that cannot clash (nor stand in for the C library's functions).
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#undef FD_SETSIZE
#undef FD_ZERO
#undef FD_SET
#undef FD_ISSET
#undef FD_CLR
#undef AF_UNSPEC
#undef AF_INET
#undef SOCK_STREAM
#undef IPPROTO_TCP
#undef SOL_SOCKET
#undef SO_ERROR
#undef IOCPARM_MASK
#undef IOC_IN
#undef _IOW
#undef FIONBIO
#undef htons
#define u_long sim_u_long
#define fd_set sim_fd_set
#define timeval sim_timeval
#define in_addr sim_in_addr
#define sockaddr sim_sockaddr
#define sockaddr_in sim_sockaddr_in
#define socket sim_socket
#define connect sim_connect
#define select sim_select
#define send sim_send
#define recv sim_recv
#define getsockopt sim_getsockopt
#define htons sim_htons

#define WSAAPI WINAPI

typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef ULONG u_long;
typedef UINT_PTR SOCKET;
typedef u_short ADDRESS_FAMILY;

#define INVALID_SOCKET (SOCKET)(~0)
#define SOCKET_ERROR (-1)

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

// The SDK orders the members differently for 64-bit and 32-bit Windows.
typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
#if UINTPTR_MAX > 0xffffffffu
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
#else
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
#endif
} WSADATA, *LPWSADATA;

#define FD_SETSIZE 64
typedef struct fd_set {
    u_int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} fd_set;

// As the SDK defines them: FD_SET adds a socket once, while there is room.
#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_ISSET(fd, set) __WSAFDIsSet((SOCKET)(fd), (fd_set*)(set))
#define FD_SET(fd, set)                                                                     \
    do {                                                                                    \
        u_int __i;                                                                          \
        for (__i = 0; __i < ((fd_set*)(set))->fd_count; __i++) {                            \
            if (((fd_set*)(set))->fd_array[__i] == (fd)) break;                             \
        }                                                                                   \
        if (__i == ((fd_set*)(set))->fd_count && ((fd_set*)(set))->fd_count < FD_SETSIZE) { \
            ((fd_set*)(set))->fd_array[__i] = (fd);                                         \
            ((fd_set*)(set))->fd_count++;                                                   \
        }                                                                                   \
    } while (0)

struct timeval {
    LONG tv_sec;
    LONG tv_usec;
};
typedef struct timeval TIMEVAL, *PTIMEVAL, *LPTIMEVAL;

typedef struct in_addr {
    union {
        struct {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            u_short s_w1, s_w2;
        } S_un_w;
        u_long S_addr;
    } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;
#define s_addr S_un.S_addr

typedef struct sockaddr {
    ADDRESS_FAMILY sa_family;
    CHAR sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
    ADDRESS_FAMILY sin_family;
    USHORT sin_port;
    IN_ADDR sin_addr;
    CHAR sin_zero[8];
} SOCKADDR_IN, *PSOCKADDR_IN;

#define AF_UNSPEC 0
#define AF_INET 2
#define SOCK_STREAM 1
#define IPPROTO_TCP 6
#define SOL_SOCKET 0xffff
#define SO_ERROR 0x1007

#define IOCPARM_MASK 0x7f
#define IOC_IN 0x80000000
#define _IOW(x, y, t) (IOC_IN | (((LONG)sizeof(t) & IOCPARM_MASK) << 16) | ((x) << 8) | (y))
#define FIONBIO _IOW('f', 126, u_long)

// The Windows Sockets errors the program and the simulator name.
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEWOULDBLOCK 10035L
#define WSAEALREADY 10037L
#define WSAENOTSOCK 10038L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEOPNOTSUPP 10045L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRNOTAVAIL 10049L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSATYPE_NOT_FOUND 10109L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

#ifdef __cplusplus
extern "C" {
#endif

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSAAPI WSACleanup(void);
int WSAAPI WSAGetLastError(void);
SOCKET WSAAPI socket(int af, int type, int protocol);
int WSAAPI ioctlsocket(SOCKET s, LONG cmd, u_long* argp);
int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen);
int WSAAPI select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const struct timeval* timeout);
int WSAAPI send(SOCKET s, const char* buf, int len, int flags);
int WSAAPI recv(SOCKET s, char* buf, int len, int flags);
int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int WSAAPI closesocket(SOCKET s);
u_short WSAAPI htons(u_short hostshort);
int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set* set);

#ifdef __cplusplus
}
#endif
