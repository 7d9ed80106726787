// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The workshop station: the units on several ports updated at the same time, each by a worker
// process of its own (`ondo-flash flash ... --progress=json`), which the station starts, watches
// through its JSON events, shows and logs; and the probe that tells when a unit on a port has
// been replaced by the next (`--loop`).

#include <QStringList>

namespace ondo {

// ondo-flash station: parses its arguments, refuses bad input before any unit is touched, runs
// the station; returns its exit status.
int runStation(const QStringList& args);
// ondo-flash probe: the version query on one port, or with --next the wait for the next unit.
int runProbe(const QStringList& args);

}  // namespace ondo
