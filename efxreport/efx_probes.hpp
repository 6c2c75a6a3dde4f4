#pragma once
// The EFX side of ferrowin: the six EFX entry points bound by name at run
// time, counting auxiliary effect slots, reading the send count, and probing
// which effect and filter types the implementation accepts.
//
// The program links only the core OpenAL API; every EFX function is reached
// through the address alGetProcAddress gives for its name. Success of an EFX
// call is judged only by alGetError, read right after the calls named below
// and nowhere else: an error left by a call that nothing reads (a lookup, a
// deletion) counts against the next call that is judged.

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/efx.h>

#include <cstdint>
#include <span>

// The six entry points, in the order they are looked up; each is null when
// the implementation does not know its name.
struct EfxEntryPoints {
    LPALGENEFFECTS alGenEffects = nullptr;
    LPALDELETEEFFECTS alDeleteEffects = nullptr;
    LPALGENFILTERS alGenFilters = nullptr;
    LPALDELETEFILTERS alDeleteFilters = nullptr;
    LPALGENAUXILIARYEFFECTSLOTS alGenAuxiliaryEffectSlots = nullptr;
    LPALDELETEAUXILIARYEFFECTSLOTS alDeleteAuxiliaryEffectSlots = nullptr;

    bool all_bound() const;
};

// Bound once, at the start of the report; kept until the program ends.
extern EfxEntryPoints efx;

// Counting stops after this many slots, whatever the implementation allows.
inline constexpr int kMaxCountedSlots = 129;

// Width of the name field in front of every "YES"/"NO".
inline constexpr int kTypeNameWidth = 19;

// One row of a type table: the name field as printed and the type value.
struct TypeRow {
    const char* nameField;
    ALint value;
};

// Effect types in report order (EAX reverb second, so not in value order).
extern const std::span<const TypeRow> effectTypeTable;
// Filter types in report order.
extern const std::span<const TypeRow> filterTypeTable;

// Looks up the six entry points by name; nothing is tested here.
void bind_efx_entry_points();

// Creates slots one per call until one is refused or 129 exist, reading
// alGetError after each attempt. The slots stay alive; returns their count.
int count_auxiliary_effect_slots();
// Deletes every slot the count created, in one call, also when there are none.
void delete_counted_slots();

// The number of auxiliary sends per source of the device; 0 when the query
// stores nothing. The ALC error state is not read.
ALCint read_send_count(ALCdevice* device);

// Creates the probe object; false when alGetError reports an error right after.
bool create_probe_effect();
bool create_probe_filter();
void delete_probe_effect();
void delete_probe_filter();

// Looks up the probe setter ("alEffecti" or "alFilteri"); false when it is
// not found. The new result replaces the old setter either way.
bool bind_probe_setter(const char* name);

// Sets parameter to value on the probe object and prints the name field
// followed by "YES" when alGetError reports no error, else "NO".
void type_probe(const char* nameField, ALenum parameter, ALint value);
