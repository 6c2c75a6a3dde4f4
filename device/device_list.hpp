#pragma once
// The device list: the playback device names that OpenAL enumerates, built
// once at start-up and kept, in order and with duplicates, to the end.

// Reads the device names from OpenAL; called once, before the console opens.
void build_device_list();
int device_count();
// The name of entry index (counted from 0).
const char* device_name(int index);
// The default device's name as OpenAL reports it; empty when it reports none.
const char* read_default_device_name();
// Forgets the list without releasing anything: the start-up's clearing.
void clear_device_list();
// Releases the store that holds the list's entries. Async-signal-safe: the
// end routine calls it, also from the close handler.
void release_device_list_store();
