// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial communications library: the only way the utility reaches a COM port.
//
// Every operation takes the library port number first (COM1 is 0, COMn is n - 1). Results are
// signed; a negative result is a failure. This layer knows nothing of Qt or of the window; it
// uses the standard library and the platform's C interface only.

#include <memory>
#include <string>

namespace sio {

// The library's result codes, with the numbers the system gives them. Operations that only
// succeed or fail return a Result; SioRxQue and SioGetc return a count or a byte, or one of the
// negative codes. A result is kept as a number too (the link's LastResult), so the enumeration is
// a plain one over int.
enum Result : int {
    kOk = 0,
    // SioGetc's result when no byte is waiting or the port is not open.
    kNoByte = -1,
    // SioReset's result for a port number outside COM1 to COM9 or with no device behind it.
    kNoSuchPort = -2,
    // The result of any other call on a port that is not open.
    kNotOpen = -4,
    // SioParms' or SioBaud's result for a line setting the port cannot take (unknown speed code,
    // parity, stop bits or data bits); the port's settings are left as they were.
    kBadArgument = -5,
    // An operating-system error; SioWinError then gives the system's text.
    kOsError = -103,
};

class SerialLibrary {
  public:
    virtual ~SerialLibrary() = default;

    // Opens the port with receive and transmit queues of the given sizes: kOk when opened.
    virtual Result SioReset(int port, int rxQueue, int txQueue) = 0;
    // parity 0 none, 1 odd, 2 even; stopBits 0 one, 1 two; dataBits 5 to 8. The unit uses 0, 0, 8.
    virtual Result SioParms(int port, int parity, int stopBits, int dataBits) = 0;
    // Speed codes: 0 300, 1 600, 2 1200, 3 2400, 4 4800, 5 9600, 6 19,200, 7 38,400, 8 57,600,
    // 9 115,200 bit/s. The unit talks at 19,200 (code 6); the port opens at that speed too.
    virtual Result SioBaud(int port, int speedCode) = 0;
    // Queues one byte for sending; the byte leaves at once.
    virtual Result SioPutc(int port, int byte) = 0;
    // Number of received bytes waiting (0 or less: none).
    virtual int SioRxQue(int port) = 0;
    // Removes and returns the oldest waiting byte, 0 to 255; negative when none.
    virtual int SioGetc(int port) = 0;
    // Discards every waiting received byte.
    virtual Result SioRxClear(int port) = 0;
    // Closes the port.
    virtual Result SioDone(int port) = 0;
    // Copies the text of the last operating-system error into buffer (always terminated).
    virtual int SioWinError(char* buffer, int length) = 0;

    // A descriptor that becomes readable when bytes arrive on the open port, so that a wait can
    // sleep until then; -1 when the port is not open or the platform has none to offer.
    virtual int waitHandle(int port) const = 0;
};

// Which device stands for library port number n (COM(n+1)); empty text when none.
using DeviceResolver = std::string (*)(int port, void* context);

// The platform's backend (termios on POSIX, the Win32 communications API on Windows).
// resolve maps a port number to its device; it is asked on each SioReset.
std::unique_ptr<SerialLibrary> makePlatformLibrary(DeviceResolver resolve, void* context);

}  // namespace sio
