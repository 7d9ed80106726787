// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine as one object: the link to the unit, the firmware image and the flash sequence,
// built once over a serial library, a waiter and a face. The window, the command line, the
// benchmarks and the tests each build one Engine and reach the engine's parts and its shared
// flags through it.
//
// The serial library and the waiter are handed in and must outlive the engine: their owner
// shares them with what else runs on the line (a test's scripted unit, the demo's simulated
// unit) or on the event loop.
//
// What may run while a wait yields
// --------------------------------
// The engine has one thread. Every wait of the link (a byte, a reply line, a count of ticks)
// hands the thread to the event loop through the Waiter until something arrives, so a handler
// that waits, a Start run above all, has these run nested inside it, and only these:
//   - the tick (tick(), the link's Timer1_Timer): counts ticks, sets TimedOut at the limit, and
//     polls waiting bytes into the data pane, never while a reply or a bootloader byte is being
//     read (RxBusy) and never waiting itself;
//   - stop requests: Abort (FlashSequence::btnAbort_Click), a close of the window or a stop
//     signal (requestClose), Ctrl-C on the command line (requestStop). They only set
//     AbortRequested; the waiting code sees it and ends the run at its next check. A close is
//     refused while Flashing (from the bootloader command to the end of the run), where it acts
//     as Abort does; before that it is granted and the run stops before anything reaches the
//     bootloader;
//   - everything else a person can do: Start, the port list, the version label, the console's
//     Enter, the file reader. While a Start run holds the unit (unitBusy(), the link's RunClaim)
//     each of them refuses or does nothing (and the window greys the port list, the option boxes
//     and the file controls), so nothing but the run sends to the port, closes or reopens it, or
//     changes the image it programs. Outside a run they may run nested in one
//     another's waits (a click on the version label while the greeting waits, say): the inner
//     wait shares the tick count and may take the reply the outer one waited for, which then
//     times out; the user can repeat either. The window closes only once every handler that
//     may wait has returned.
// The flags below are how the nested handlers and the waiting code meet; front ends read and set
// them here, the engine's parts among themselves through their own fields.

#include "core/face.h"
#include "firmware/image.h"
#include "flash/sequence.h"
#include "link/link.h"
#include "link/sio.h"
#include "link/waiter.h"

namespace ondo {

class Engine {
  public:
    Engine(sio::SerialLibrary& serial, Waiter& waiter, Face& face);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Link& link() { return link_; }
    FirmwareImage& image() { return image_; }
    FlashSequence& sequence() { return sequence_; }
    sio::SerialLibrary& serial() { return serial_; }

    // The state at start-up: no stop pending, no reply being read, no port open, no image, the
    // EEPROM size not known (512 assumed). A front end calls it once, before its first port.
    void reset();

    // The 100 ms tick.
    void tick() { link_.Timer1_Timer(); }

    // A Start run holds the unit.
    bool unitBusy() const { return link_.unitBusy(); }
    // The run has reached the bootloader (or the rescue identification): a close is refused.
    bool flashing() const { return sequence_.Flashing; }
    // A reply or bootloader byte is being read: the tick leaves the line alone.
    bool rxBusy() const { return link_.RxBusy; }
    bool stopRequested() const { return link_.AbortRequested; }

    // Ctrl-C before the Abort button exists: the run stops at its next check, before the
    // bootloader if it has not reached it.
    void requestStop() { link_.AbortRequested = true; }
    // A close of the window: a stop request; granted (true) unless the run is Flashing.
    bool requestClose();

  private:
    sio::SerialLibrary& serial_;
    FirmwareImage image_;
    Link link_;
    FlashSequence sequence_;
};

}  // namespace ondo
