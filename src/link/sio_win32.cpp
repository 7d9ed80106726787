// SPDX-License-Identifier: GPL-3.0-or-later
// The serial library on Windows: the Win32 communications API on \\.\COM1 to \\.\COM9.
//
// Windows names its serial ports itself, so the port map is not asked: library port n is
// \\.\COM(n+1). The driver keeps its own receive queue (sized by SetupComm) and goes on
// receiving between calls; reads return at once with what is there. Windows offers no
// descriptor for a wait to sleep on, so waits fall back to a short sleep.
//
// Windows' serial driver lets one handle at a time have a port. Wine's emulation of it does not
// (any number of programs under Wine open the same pseudo-terminal), so each open port is also
// claimed by a named object of this session: a second user of the library is refused on both.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>

#include "link/sio_common.h"

namespace sio {
namespace {

BYTE parityFor(int parity) {
    switch (parity) {
        case 1:
            return ODDPARITY;
        case 2:
            return EVENPARITY;
        default:
            return NOPARITY;
    }
}

// Raw 8N1 at 19,200 bit/s with no flow control of any kind: page data holds 0x11 and 0x13,
// and the unit's cable carries no handshake lines. DTR and RTS stay raised for adapters that
// draw their power from them.
void makeRaw(DCB& dcb) {
    dcb.BaudRate = CBR_19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
}

// The system's text for an error code, without the line end Windows appends.
std::string systemText(DWORD code) {
    std::array<char, 512> text{};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                    text.data(), static_cast<DWORD>(text.size()), nullptr);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
        --length;
    }
    if (length == 0) return "System error " + std::to_string(code);
    return std::string(text.data(), length);
}

class Win32Library final : public CommonLibrary {
  public:
    Win32Library() {
        ports_.fill(INVALID_HANDLE_VALUE);
        claims_.fill(nullptr);
    }
    ~Win32Library() override {
        for (int port = 0; port < kPortCount; ++port) release(port);
    }
    Win32Library(const Win32Library&) = delete;
    Win32Library& operator=(const Win32Library&) = delete;

    Result SioReset(int port, int rxQueue, int txQueue) override;
    Result SioPutc(int port, int byte) override;
    int SioRxQue(int port) override;
    int SioGetc(int port) override;
    Result SioRxClear(int port) override;
    Result SioDone(int port) override;
    int waitHandle(int) const override { return -1; }

  private:
    bool isOpen(int port) const override { return find(port) != INVALID_HANDLE_VALUE; }
    Result applyLine(int port, const LineSettings& line) override;
    HANDLE find(int port) const;
    Result osError(DWORD code);
    Result configure(HANDLE handle, int rxQueue, int txQueue);
    void release(int port);

    std::array<HANDLE, kPortCount> ports_{};
    std::array<HANDLE, kPortCount> claims_{};  // the named claim on each open port
};

HANDLE Win32Library::find(int port) const {
    if (!inRange(port)) return INVALID_HANDLE_VALUE;
    return ports_[static_cast<std::size_t>(port)];
}

Result Win32Library::osError(DWORD code) {
    return CommonLibrary::osError(systemText(code));
}

Result Win32Library::configure(HANDLE handle, int rxQueue, int txQueue) {
    if (!::SetupComm(handle, static_cast<DWORD>(std::max(rxQueue, 1)),
                     static_cast<DWORD>(std::max(txQueue, 1)))) {
        return osError(::GetLastError());
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(handle, &dcb)) return osError(::GetLastError());
    makeRaw(dcb);
    if (!::SetCommState(handle, &dcb)) return osError(::GetLastError());
    // Reads return at once with whatever the driver holds; writes wait until the byte is out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle, &timeouts)) return osError(::GetLastError());
    return kOk;
}

Result Win32Library::SioReset(int port, int rxQueue, int txQueue) {
    if (!inRange(port)) return kNoSuchPort;
    release(port);
    const std::string name = "COM" + std::to_string(port + 1);
    // Held by another user of the library: refused with the text Windows gives for a port that
    // another program has open.
    const std::string claimName = "Local\\ondo-flash-" + name;
    HANDLE claim = ::CreateMutexA(nullptr, FALSE, claimName.c_str());
    if (!claim) return osError(::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        return osError(ERROR_ACCESS_DENIED);
    }
    const std::string device = "\\\\.\\" + name;
    // No sharing: a port another program holds fails here with the system's text.
    HANDLE handle = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Result result = handle == INVALID_HANDLE_VALUE ? osError(::GetLastError()) : kOk;
    if (result == kOk) result = configure(handle, rxQueue, txQueue);
    if (result != kOk) {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        ::CloseHandle(claim);
        return result;
    }
    ports_[static_cast<std::size_t>(port)] = handle;
    claims_[static_cast<std::size_t>(port)] = claim;
    resetLine(port);
    return kOk;
}

Result Win32Library::applyLine(int port, const LineSettings& line) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(find(port), &dcb)) return osError(::GetLastError());
    dcb.Parity = parityFor(line.parity);
    dcb.fParity = line.parity != 0 ? TRUE : FALSE;
    dcb.StopBits = line.stopBits == 1 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.BaudRate = static_cast<DWORD>(line.bitsPerSecond);  // CBR_300 to CBR_115200 are bit/s
    if (!::SetCommState(find(port), &dcb)) return osError(::GetLastError());
    return kOk;
}

Result Win32Library::SioPutc(int port, int byte) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    const auto value = static_cast<unsigned char>(byte);
    DWORD written = 0;
    if (!::WriteFile(handle, &value, 1, &written, nullptr)) return osError(::GetLastError());
    if (written != 1) return osError(ERROR_WRITE_FAULT);
    return kOk;  // never the byte itself: a stale result must not read as a reply
}

int Win32Library::SioRxQue(int port) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle, &errors, &status)) return osError(::GetLastError());
    return static_cast<int>(std::min<DWORD>(status.cbInQue, INT_MAX));
}

int Win32Library::SioGetc(int port) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNoByte;
    unsigned char value = 0;
    DWORD got = 0;
    if (!::ReadFile(handle, &value, 1, &got, nullptr)) return osError(::GetLastError());
    if (got != 1) return kNoByte;
    return value;
}

Result Win32Library::SioRxClear(int port) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    if (!::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR)) return osError(::GetLastError());
    return kOk;
}

void Win32Library::release(int port) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(handle);
    ports_[static_cast<std::size_t>(port)] = INVALID_HANDLE_VALUE;
    ::CloseHandle(claims_[static_cast<std::size_t>(port)]);
    claims_[static_cast<std::size_t>(port)] = nullptr;
}

Result Win32Library::SioDone(int port) {
    if (find(port) == INVALID_HANDLE_VALUE) return kNotOpen;
    release(port);
    return kOk;
}

}  // namespace

std::unique_ptr<SerialLibrary> makePlatformLibrary(DeviceResolver, void*) {
    return std::make_unique<Win32Library>();
}

}  // namespace sio
