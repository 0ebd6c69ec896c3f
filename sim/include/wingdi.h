// The simulated Windows: <wingdi.h>, printing through a driver with GDI.
// Included by <windows.h>, as in the SDK.
#pragma once

typedef struct HDC__* HDC;
typedef void* HGDIOBJ;  // any GDI object, as in the SDK
typedef struct HFONT__* HFONT;
typedef struct _devicemodeW DEVMODEW;

typedef struct _DOCINFOW {
    int cbSize;
    LPCWSTR lpszDocName;
    LPCWSTR lpszOutput;
    LPCWSTR lpszDatatype;
    DWORD fwType;
} DOCINFOW, *LPDOCINFOW;

#define HORZRES 8
#define VERTRES 10
#define LOGPIXELSX 88
#define LOGPIXELSY 90

#define TRANSPARENT 1
#define OPAQUE 2

#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define VARIABLE_PITCH 2
#define FF_SWISS 0x20

#ifdef __cplusplus
extern "C" {
#endif

HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const DEVMODEW* pdm);
BOOL WINAPI DeleteDC(HDC hdc);
int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi);
int WINAPI EndDoc(HDC hdc);
int WINAPI AbortDoc(HDC hdc);
int WINAPI StartPage(HDC hdc);
int WINAPI EndPage(HDC hdc);
int WINAPI GetDeviceCaps(HDC hdc, int index);
HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                         DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision,
                         DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
int WINAPI SetBkMode(HDC hdc, int mode);
BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);

#ifdef __cplusplus
}
#endif
