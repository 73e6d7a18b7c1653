// A simulated 2017 bus described in command-line words: which devices sit at which
// addresses, their starting values and their faults. Kept apart from the command line
// itself so every message about a bad value can be checked without running a program.
#pragma once

#include <string>
#include <vector>

#include "hardware/sim/bus2017_sim.h"

namespace hardware {

// Each entry is one use of a repeatable option. Numbers are decimal or 0x-hexadecimal.
struct Bus2017SimSetup {
  std::vector<std::string> modules;      // ADDR[:VERSION], version 0 when left out
  std::vector<std::string> indicators;   // ADDR[:TYPE], type 1 when left out
  std::vector<std::string> consoles;     // ADDR
  std::vector<std::string> adc;          // ADDR:CHANNEL=VALUE, module or console
  std::vector<std::string> silent;       // ADDR
  std::vector<std::string> answer_once;  // ADDR
  std::vector<std::string> duplicates;   // ADDR:N, the next N data replies repeat
  std::vector<std::string> drop;         // ADDR:N, the next N requests get no answer
  std::vector<std::string> garble;       // ADDR:N, the next N replies carry a bad frame CRC
  std::vector<std::string> result;       // ADDR:BYTE, answered to writes
  std::vector<std::string> delay;        // ADDR:MS, each reply held back this long
};

// Puts the described devices on `sim`, then their values and faults. Returns an empty
// string on success, else one line naming the option and what is wrong with its value; the
// bus may then hold part of the setup. Naming an address twice as a device, or giving a
// value or fault to an address without a device, is an error.
std::string apply_bus2017_sim_setup(const Bus2017SimSetup& setup, Bus2017Sim& sim);

}  // namespace hardware
