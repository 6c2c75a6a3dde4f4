// System pages on Windows: reserved and committed virtual memory.

#include <windows.h>

#include "device/system_pages.hpp"

void* map_system_pages(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmap_system_pages(void* memory, std::size_t) {
    VirtualFree(memory, 0, MEM_RELEASE);
}
