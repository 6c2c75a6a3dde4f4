#pragma once
// Handing a run of bytes to an output that may take fewer than asked at a
// time.

#include <cstddef>
#include <string_view>

// Gives bytes to write_some until it has taken them all. write_some(data,
// size) writes from data and returns how many bytes it took, 0 when the
// output takes nothing more (it is gone): the rest is dropped then.
template <typename WriteSome>
void write_all(std::string_view bytes, WriteSome write_some) {
    while (!bytes.empty()) {
        const std::size_t taken = write_some(bytes.data(), bytes.size());
        if (taken == 0) return;
        bytes.remove_prefix(taken < bytes.size() ? taken : bytes.size());
    }
}
