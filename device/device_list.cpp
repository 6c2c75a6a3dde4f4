#include "device/device_list.hpp"

#include <AL/alc.h>

#include <cstring>

#include "device/system_pages.hpp"
#include "device/working_heap.hpp"

namespace {

// The entries (texts in the working heap) sit in a store of their own,
// taken from the system so that releasing it is one system call, safe from
// a signal handler.
const char** entries = nullptr;
int entryCount = 0;
std::size_t storeBytes = 0;
// The store's first size: one page, the least the system maps anyway, holds
// 512 entries on a 64-bit system, more devices than a machine offers, so
// the store is mapped once.
constexpr std::size_t kFirstStoreBytes = 4096;

bool append_entry(const char* name) {
    const std::size_t needed = (static_cast<std::size_t>(entryCount) + 1) * sizeof(const char*);
    if (needed > storeBytes) {
        const std::size_t grown = storeBytes == 0 ? kFirstStoreBytes : storeBytes * 2;
        void* memory = map_system_pages(grown);
        if (memory == nullptr) return false;
        if (entries != nullptr) {
            std::memcpy(memory, entries, static_cast<std::size_t>(entryCount) * sizeof(const char*));
            unmap_system_pages(entries, storeBytes);
        }
        entries = static_cast<const char**>(memory);
        storeBytes = grown;
    }
    entries[entryCount++] = name;
    return true;
}

}  // namespace

void build_device_list() {
    // The enumeration string comes first, whether or not enumeration is
    // supported: a run of NUL-terminated names closed by an empty one.
    const ALCchar* names = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT") == ALC_FALSE || names == nullptr) return;
    for (const char* name = names; *name != 0; name += std::strlen(name) + 1) {
        const char* copy = heap_copy_text(name);
        if (copy == nullptr || !append_entry(copy)) return;
    }
}

int device_count() {
    return entryCount;
}

const char* device_name(int index) {
    return index >= 0 && index < entryCount ? entries[index] : "";
}

const char* read_default_device_name() {
    const ALCchar* name = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
    const char* copy = name != nullptr ? heap_copy_text(name) : nullptr;
    return copy != nullptr ? copy : "";
}

void clear_device_list() {
    entries = nullptr;
    entryCount = 0;
    storeBytes = 0;
}

void release_device_list_store() {
    if (entries != nullptr) unmap_system_pages(entries, storeBytes);
    entries = nullptr;
    entryCount = 0;
    storeBytes = 0;
}
