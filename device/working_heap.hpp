#pragma once
// The working heap: one private, growable arena that every text of the run
// comes from. Nothing is freed on its own; the heap is released whole.

#include <cstddef>

// Creates the heap with room for initial_size bytes; false when no memory.
bool create_working_heap(std::size_t initial_size);
// A copy of text in the heap (null counts as empty), or null when out of memory.
char* heap_copy_text(const char* text);
// A new text in the heap: the parts one after the other (a null part counts
// as empty), or null when out of memory.
char* heap_join(const char* first, const char* second, const char* third = nullptr);
void destroy_working_heap();
