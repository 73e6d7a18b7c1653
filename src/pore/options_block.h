// Settings objects of the well model are saved in the state file as they are in INI files:
// one (section, key, text) triple per option. Keys the reader does not know are skipped and
// options the block lacks take their defaults, so adding or dropping an option later never
// shifts the others.
#pragma once

#include "lib/options.h"
#include "lib/serial_list.h"

namespace pore {

// Writes the options of `options`, or reads them back (set_defaults first). Malformed text
// takes the option's default and an out-of-range number is clamped, as in an INI file.
// Throws lib::io::StreamError when the block is cut short.
void serial_options(lib::serial_list& list, lib::ini_options& options);

}  // namespace pore
