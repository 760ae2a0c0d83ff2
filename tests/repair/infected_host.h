#ifndef KWRNDL_TESTS_INFECTED_HOST_H
#define KWRNDL_TESTS_INFECTED_HOST_H

#include <stdint.h>

#include <vector>

// Infected hosts made from clean programs, for tests and demos. No real
// malware: the host carries the infection's layout and the CRC of the
// disinfectable signature row, nothing that runs.

// The infection of a clean PE32 program (224-byte optional header): three
// section headers UPX0, UPX1, UPX2 behind its section table, then the 48-byte
// record of its entry point and relocation and import directories; those
// header fields point elsewhere, the section count is 3 higher, SizeOfImage
// 0x81000 higher, and 72192 bytes are appended whose last 787 match
// signature row 4. Repairing it gives back the program byte for byte.
// Empty when the program is not such a PE or its headers have no zeroed room
// for the 168 added bytes.
std::vector<uint8_t> MakeInfectedHost(const std::vector<uint8_t> &cleanPe32);

// A real clean PE32 console program, compiled by the build's i686 toolchain
// from clean_host.c; MakeInfectedHost accepts it.
std::vector<uint8_t> CleanHostProgram();

#endif
