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
#include <cstring>
#include <string>

#include "link/sio.h"

namespace sio {
namespace {

constexpr int kPortCount = 9;  // COM1 to COM9

DWORD speedFor(int code) {
    static constexpr std::array<DWORD, 10> kSpeeds{CBR_300,   CBR_600,   CBR_1200,  CBR_2400,
                                                   CBR_4800,  CBR_9600,  CBR_19200, CBR_38400,
                                                   CBR_57600, CBR_115200};
    if (code < 0 || code >= static_cast<int>(kSpeeds.size())) return 0;
    return kSpeeds[static_cast<std::size_t>(code)];
}

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

class Win32Library final : public SerialLibrary {
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

    int SioReset(int port, int rxQueue, int txQueue) override;
    int SioParms(int port, int parity, int stopBits, int dataBits) override;
    int SioBaud(int port, int speedCode) override;
    int SioPutc(int port, int byte) override;
    int SioRxQue(int port) override;
    int SioGetc(int port) override;
    int SioRxClear(int port) override;
    int SioDone(int port) override;
    int SioWinError(char* buffer, int length) override;
    int waitHandle(int) const override { return -1; }

  private:
    HANDLE find(int port) const;
    int osError(DWORD code);
    int configure(HANDLE handle, int rxQueue, int txQueue);
    template <typename Change>
    int changeState(HANDLE handle, Change change);
    void release(int port);

    std::array<HANDLE, kPortCount> ports_{};
    std::array<HANDLE, kPortCount> claims_{};  // the named claim on each open port
    std::string lastError_;
};

HANDLE Win32Library::find(int port) const {
    if (port < 0 || port >= kPortCount) return INVALID_HANDLE_VALUE;
    return ports_[static_cast<std::size_t>(port)];
}

int Win32Library::osError(DWORD code) {
    lastError_ = systemText(code);
    return kOsError;
}

int Win32Library::configure(HANDLE handle, int rxQueue, int txQueue) {
    if (!::SetupComm(handle, static_cast<DWORD>(std::max(rxQueue, 1)),
                     static_cast<DWORD>(std::max(txQueue, 1)))) {
        return osError(::GetLastError());
    }
    const int result = changeState(handle, [](DCB& dcb) { makeRaw(dcb); });
    if (result < 0) return result;
    // Reads return at once with whatever the driver holds; writes wait until the byte is out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle, &timeouts)) return osError(::GetLastError());
    return 0;
}

int Win32Library::SioReset(int port, int rxQueue, int txQueue) {
    if (port < 0 || port >= kPortCount) return kNoSuchPort;
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
    int result = handle == INVALID_HANDLE_VALUE ? osError(::GetLastError()) : 0;
    if (result == 0) result = configure(handle, rxQueue, txQueue);
    if (result < 0) {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        ::CloseHandle(claim);
        return result;
    }
    ports_[static_cast<std::size_t>(port)] = handle;
    claims_[static_cast<std::size_t>(port)] = claim;
    return 0;
}

template <typename Change>
int Win32Library::changeState(HANDLE handle, Change change) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(handle, &dcb)) return osError(::GetLastError());
    change(dcb);
    if (!::SetCommState(handle, &dcb)) return osError(::GetLastError());
    return 0;
}

int Win32Library::SioParms(int port, int parity, int stopBits, int dataBits) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    if (parity < 0 || parity > 2 || stopBits < 0 || stopBits > 1 || dataBits < 5 || dataBits > 8)
        return kBadArgument;
    return changeState(handle, [&](DCB& dcb) {
        dcb.Parity = parityFor(parity);
        dcb.fParity = parity != 0 ? TRUE : FALSE;
        dcb.StopBits = stopBits == 1 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.ByteSize = static_cast<BYTE>(dataBits);
    });
}

int Win32Library::SioBaud(int port, int speedCode) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    const DWORD speed = speedFor(speedCode);
    if (speed == 0) return kBadArgument;
    return changeState(handle, [speed](DCB& dcb) { dcb.BaudRate = speed; });
}

int Win32Library::SioPutc(int port, int byte) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    const auto value = static_cast<unsigned char>(byte);
    DWORD written = 0;
    if (!::WriteFile(handle, &value, 1, &written, nullptr)) return osError(::GetLastError());
    if (written != 1) return osError(ERROR_WRITE_FAULT);
    return 0;  // never the byte itself: a stale result must not read as a reply
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
    return got == 1 ? value : kNoByte;
}

int Win32Library::SioRxClear(int port) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return kNotOpen;
    if (!::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR)) return osError(::GetLastError());
    return 0;
}

void Win32Library::release(int port) {
    HANDLE handle = find(port);
    if (handle == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(handle);
    ports_[static_cast<std::size_t>(port)] = INVALID_HANDLE_VALUE;
    ::CloseHandle(claims_[static_cast<std::size_t>(port)]);
    claims_[static_cast<std::size_t>(port)] = nullptr;
}

int Win32Library::SioDone(int port) {
    if (find(port) == INVALID_HANDLE_VALUE) return kNotOpen;
    release(port);
    return 0;
}

int Win32Library::SioWinError(char* buffer, int length) {
    if (!buffer || length <= 0) return 0;
    const std::size_t n = std::min(lastError_.size(), static_cast<std::size_t>(length - 1));
    std::memcpy(buffer, lastError_.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace

std::unique_ptr<SerialLibrary> makePlatformLibrary(DeviceResolver, void*) {
    return std::make_unique<Win32Library>();
}

}  // namespace sio
