#pragma once
// Memory straight from the system in whole pages: the working heap's blocks
// and the device list's store. Releasing is one system call that takes no
// lock, so the end routine may do it from a signal handler or from the
// Windows console's handler thread.

#include <cstddef>

// size bytes of zeroed, writable memory, or null when the system has none.
void* map_system_pages(std::size_t size);
// Gives back memory that map_system_pages returned for the same size.
void unmap_system_pages(void* memory, std::size_t size);
