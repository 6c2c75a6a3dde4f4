#include "device/working_heap.hpp"

#include <cstdint>
#include <cstring>

#include "device/system_pages.hpp"

namespace {

// The heap is a chain of blocks mapped from the system; a request that does
// not fit in the newest block starts a new one at least twice as large.
struct Block {
    Block* previous;
    std::size_t size;  // bytes of the whole block, header included
    std::size_t used;
};

constexpr std::size_t kAlignment = alignof(std::max_align_t);

Block* newestBlock = nullptr;

std::size_t round_up(std::size_t value, std::size_t unit) {
    return (value + unit - 1) / unit * unit;
}

Block* map_block(std::size_t payload, Block* previous) {
    const std::size_t header = round_up(sizeof(Block), kAlignment);
    if (payload > SIZE_MAX / 2) return nullptr;
    const std::size_t size = header + payload;
    void* memory = map_system_pages(size);
    if (memory == nullptr) return nullptr;
    auto* block = static_cast<Block*>(memory);
    block->previous = previous;
    block->size = size;
    block->used = header;
    return block;
}

// size bytes from the heap (aligned for any type), or null when out of memory.
void* heap_alloc(std::size_t size) {
    if (newestBlock == nullptr) return nullptr;
    const std::size_t wanted = round_up(size == 0 ? 1 : size, kAlignment);
    if (wanted < size) return nullptr;  // the rounding overflowed
    if (newestBlock->size - newestBlock->used < wanted) {
        const std::size_t grown = newestBlock->size > SIZE_MAX / 2 ? wanted : 2 * newestBlock->size;
        Block* block = map_block(wanted > grown ? wanted : grown, newestBlock);
        if (block == nullptr) return nullptr;
        newestBlock = block;
    }
    void* result = reinterpret_cast<char*>(newestBlock) + newestBlock->used;
    newestBlock->used += wanted;
    return result;
}

}  // namespace

bool create_working_heap(std::size_t initial_size) {
    destroy_working_heap();
    newestBlock = map_block(initial_size, nullptr);
    return newestBlock != nullptr;
}

char* heap_copy_text(const char* text) {
    return heap_join(text, nullptr);
}

char* heap_join(const char* first, const char* second, const char* third) {
    const char* parts[] = {first, second, third};
    std::size_t total = 1;
    for (const char* part : parts)
        if (part != nullptr) total += std::strlen(part);
    char* result = static_cast<char*>(heap_alloc(total));
    if (result == nullptr) return nullptr;
    char* end = result;
    for (const char* part : parts) {
        if (part == nullptr) continue;
        const std::size_t length = std::strlen(part);
        std::memcpy(end, part, length);
        end += length;
    }
    *end = 0;
    return result;
}

void destroy_working_heap() {
    while (newestBlock != nullptr) {
        Block* previous = newestBlock->previous;
        unmap_system_pages(newestBlock, newestBlock->size);
        newestBlock = previous;
    }
}
