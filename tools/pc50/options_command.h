// pc50 options decode / describe / edit: the PC-50's driver options (ribbon
// type and print order) as the module decodes, describes and edits them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "command.h"

namespace pc50::cli {

using OptionBlock = std::array<std::uint8_t, 256>;

Command AddOptionsCommand(CLI::App& parent);

// The module's default block (a reset through PopUpDriverOptionDialog).
OptionBlock DefaultOptionBlock();

// Decodes an option string into block with DECODESTRING. Throws Failure.
void DecodeOptionString(const std::string& text, OptionBlock* block);

// "tag", "ribbon type" and "print order" lines for block.
std::string DescribeOptionBlock(const OptionBlock& block);

// A driver-option block file: exactly 256 bytes. Throws Failure naming the
// file and what is wrong with it.
OptionBlock ReadBlockFile(const std::string& path);

// Replaces path with block atomically (temporary name, then rename). Throws
// Failure.
void WriteBlockFile(const std::string& path, const OptionBlock& block);

}  // namespace pc50::cli
