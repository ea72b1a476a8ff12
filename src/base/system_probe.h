#pragma once
// Facts about the machine recorded once at start-up, before the settings load.
#include <cstdint>
#include <string>
#include <vector>

constexpr int kProgramDirChars = 262;  // a 260-character directory, its backslash, terminator

// The current directory at probe time followed by one backslash.
extern wchar_t program_dir[kProgramDirChars];
// Sum of the capacities of all memory modules in bytes; 0 until measured or on failure.
extern std::uint64_t physical_memory;

// False when the operating-system version cannot be obtained. Records program_dir.
bool probe_system();

// Asks WMI for Win32_PhysicalMemory and stores the summed capacities in physical_memory.
// Needs COM initialised on the calling thread. 0 on success, -1 on failure.
int measure_physical_memory();

// "Capacity" as WMI reports it in text: optional blanks and sign, then leading decimal
// digits; anything after them is ignored. Saturates at the 64-bit limits; 0 without digits.
std::int64_t parse_capacity(const wchar_t* text);

// Running total of capacity texts as measure_physical_memory adds them up: negative
// module sizes are ignored and the total saturates instead of wrapping.
std::uint64_t sum_capacities(const std::vector<std::wstring>& texts);
