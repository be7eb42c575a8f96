// Shared by the fuzz targets: the allocation failure that the input's first byte chooses,
// so that a crashing input replays exactly, and a scratch file for the readers that take a
// file name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/output_run.h"
#include "markup/parse_tables.h"

namespace mq {

// The run each target drives the library's steps with, input after input.
OutputRun& fuzzRun();

}  // namespace mq

namespace mq::fuzz {

// Stops the run when a record of a loaded document points outside its slot's areas or is
// not numbered by its place in the table.
void checkDocumentRecords(const ParseTableSlot& slot);

// Stops the run when a record's path or value of a document loaded into UTF-8 is not valid
// UTF-8: reading into UTF-8 never splits or invents a character.
void checkUtf8Records(const ParseTableSlot& slot);

// Writes the bytes to this process's scratch file and returns its name.
const char* writeInput(const uint8_t* data, std::size_t size);

// Sets the allocation seam from the selector byte: 0 to 15 fail nothing, 16 and more fail
// the (selector % 16 + 1)-th allocation from now.
void chooseAllocationFailure(uint8_t selector);

}  // namespace mq::fuzz
