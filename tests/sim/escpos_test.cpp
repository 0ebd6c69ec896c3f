// Receipt printers that answer, call by call on scenarios/escpos.json: the
// status byte of the USB printer class, overlapped writes and reads of a USB
// printer's answers on the virtual clock, waits, cancels, and a network
// printer that answers on its connection; the state file's "sent".
#include <usbprint.h>
#include <winsock2.h>

#include <nlohmann/json.hpp>
#include <string>

#include "sim/transcript.h"

namespace {

using namespace transcript;

std::string clock_now() {
    return "  clock: " + std::to_string(sim::computer().clock.elapsed_ms) + " ms\n";
}

// "  Internal 0x103, InternalHigh 2, bytes 1234".
std::string record(const OVERLAPPED& ov, const BYTE* buffer) {
    char text[64];
    snprintf(text, sizeof text, "  Internal 0x%llx, InternalHigh %llu, bytes ", (unsigned long long)ov.Internal,
             (unsigned long long)ov.InternalHigh);
    return text + hex(std::string(buffer, buffer + ov.InternalHigh)) + "\n";
}

using Escpos = SimTest;

// The status byte on a handle opened without access, else to read; the 1284 ID beside it.
TEST_F(Escpos, UsbStatusByteBesideTheDeviceId) {
    load("escpos");
    std::string text;
    BYTE status = 0;
    DWORD got = 0;
    for (const wchar_t* path :
         {L"\\\\?\\usb#answers", L"\\\\?\\usb#paper_out", L"\\\\?\\usb#busy", L"\\\\?\\usb#silent"}) {
        text += u8(path) + "\n";
        HANDLE h = INVALID_HANDLE_VALUE;
        for (DWORD access : {0ul, GENERIC_READ}) {
            if (h == INVALID_HANDLE_VALUE) STEP(h = CreateFileW(path, access, 3, nullptr, OPEN_EXISTING, 0, nullptr));
        }
        status = 0;
        STEP(DeviceIoControl(h, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status, 1, &got, nullptr));
        text +=
            "  status " + hex(std::string(1, static_cast<char>(status))) + ", returned " + std::to_string(got) + "\n";
        STEP(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, &status, 1, &got, nullptr));
        CloseHandle(h);
    }
    expect_golden(text);
}

TEST_F(Escpos, UsbPrintersAnswerOnTheVirtualClock) {
    load("escpos");
    std::string text;
    DWORD got = 0;
    auto open = [](const wchar_t* path, DWORD flags) {
        return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, flags, nullptr);
    };
    HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr), h = open(L"\\\\?\\usb#answers", FILE_FLAG_OVERLAPPED);
    OVERLAPPED ov = {};
    ov.hEvent = ev;
    BYTE in[8] = {};
    const char* question[] = {"\x10\x04\x01", "\x10\x04\x02", "\x10\x04\x03", "\x1b\x40\x10\x04\x05"};
    STEP(ReadFile(h, in, sizeof in, nullptr, &ov));  // the stale byte waits already
    text += record(ov, in);
    STEP(WriteFile(h, question[0], 3, nullptr, &ov));
    STEP(GetOverlappedResult(h, &ov, &got, FALSE));
    STEP(ReadFile(h, in, sizeof in, nullptr, &ov));
    STEP(GetOverlappedResult(h, &ov, &got, FALSE));
    STEP(WaitForSingleObject(ev, 10));
    text += clock_now();
    STEP(WaitForSingleObject(ev, 100));
    text += clock_now() + record(ov, in);
    text += "several bytes, read one at a time\n";
    WriteFile(h, question[1], 3, nullptr, &ov);
    STEP(ReadFile(h, in, 1, nullptr, &ov));
    STEP(GetOverlappedResult(h, &ov, &got, TRUE));
    text += clock_now() + record(ov, in);
    STEP(ReadFile(h, in, 1, nullptr, &ov));
    text += record(ov, in) + "silent: cancelled\n";
    WriteFile(h, question[2], 3, nullptr, &ov);
    STEP(ReadFile(h, in, sizeof in, nullptr, &ov));
    STEP(WaitForSingleObject(ev, 500));
    STEP(CancelIoEx(h, &ov));
    STEP(GetOverlappedResult(h, &ov, &got, FALSE));  // a cancel completes later, as on Windows
    STEP(GetOverlappedResult(h, &ov, &got, TRUE));
    text += clock_now();
    STEP(CancelIoEx(h, &ov));
    text += "answered before the cancel\n";
    WriteFile(h, question[0], 3, nullptr, &ov);
    ReadFile(h, in, sizeof in, nullptr, &ov);
    Sleep(100);
    STEP(CancelIoEx(h, &ov));
    STEP(GetOverlappedResult(h, &ov, &got, FALSE));
    text += record(ov, in) + "not a question, left pending at the close\n";
    STEP(WriteFile(h, question[3], 5, nullptr, &ov));
    STEP(ReadFile(h, in, sizeof in, nullptr, &ov));
    STEP(GetOverlappedResult(h, &ov, &got, TRUE));  // would wait for ever
    STEP(WaitForSingleObject(ev, INFINITE));
    STEP(CloseHandle(h));
    text += "what cannot go on\n";
    STEP(open(L"\\\\?\\usb#busy", FILE_FLAG_OVERLAPPED));
    h = open(L"\\\\?\\usb#broken", FILE_FLAG_OVERLAPPED);
    STEP(WriteFile(h, question[0], 3, nullptr, &ov));
    STEP(ReadFile(h, in, sizeof in, nullptr, &ov));
    CloseHandle(h);
    h = open(L"\\\\?\\usb#silent", 0);
    STEP(WriteFile(h, question[0], 3, nullptr, &ov));  // synchronous device I/O is not modelled
    CloseHandle(h);
    h = CreateFileW(L"\\\\?\\usb#silent", 0, 3, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    STEP(ReadFile(h, in, sizeof in, nullptr, &ov));
    for (const std::string& name : sim::leaks()) text += "  open: " + name + "\n";
    CloseHandle(h);
    STEP(CloseHandle(ev));
    const nlohmann::ordered_json state = nlohmann::ordered_json::parse(sim::state_json());
    for (const auto& sent : state.at("sent")) text += "sent " + sent.dump() + "\n";
    expect_golden(text);
}

// The same answers on a connection, which the printer closes after two.
TEST_F(Escpos, NetworkPrintersAnswerOnTheConnection) {
    load("escpos");
    std::string text;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long one = 1;
    ioctlsocket(s, FIONBIO, &one);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(9100);
    sim::parse_ipv4("192.168.1.60", &target.sin_addr.s_addr);
    char in[8] = {};
    fd_set readable;
    timeval wait = {0, 100000};
    auto select_read = [&] {
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        return select(0, &readable, nullptr, nullptr, &wait);
    };
    auto received = [&](int got) { return got > 0 ? "  " + hex(std::string(in, in + got)) + "\n" : ""; };
    STEP(send(s, "\x10\x04\x01", 3, 0));
    STEP(connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target));
    STEP(select_read());  // the stale byte, once connected
    text += clock_now();
    int got = 0;
    STEP(got = recv(s, in, sizeof in, 0));
    text += received(got);
    for (int answer = 1; answer <= 2; ++answer) {
        STEP(send(s, "\x10\x04\x01", 3, 0));
        STEP(recv(s, in, sizeof in, 0));
        STEP(select_read());
        text += clock_now();
        STEP(got = recv(s, in, sizeof in, 0));
        text += received(got);
    }
    STEP(select_read());  // the printer has closed its end after two answers
    STEP(recv(s, in, sizeof in, 0));
    STEP(send(s, "\x10\x04\x01", 3, 0));
    closesocket(s);
    WSACleanup();
    const nlohmann::ordered_json state = nlohmann::ordered_json::parse(sim::state_json());
    expect_golden(text + "sent " + state.at("sent").dump() + "\nconnections " + state.at("connections").dump() + "\n");
}

}  // namespace
