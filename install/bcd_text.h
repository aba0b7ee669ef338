#pragma once
// What the installer reads from the Windows boot store's tool, bcdedit: the
// identifier of an entry, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}". bcdedit's
// words are in the display language of Windows, its identifiers never are, so
// only these are read. Called by the worker thread.
#include <cstddef>

// An identifier with its braces and NUL.
constexpr std::size_t BCD_ID_SIZE = 39;

// Copies the first identifier in `text` into `id` (BCD_ID_SIZE bytes); false,
// leaving `id` empty, when there is none. Only hexadecimal digits in the
// 8-4-4-4-12 shape count, so what is copied is safe on a command line.
bool find_bcd_identifier(const char* text, char* id);
