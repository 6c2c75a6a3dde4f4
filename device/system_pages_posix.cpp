// System pages on POSIX: anonymous private mappings.

#include <sys/mman.h>

#include "device/system_pages.hpp"

void* map_system_pages(std::size_t size) {
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

void unmap_system_pages(void* memory, std::size_t size) {
    munmap(memory, size);
}
