#include "efxreport/efx_probes.hpp"

#include <array>
#include <string_view>

#include "console/console.hpp"
#include "device/working_heap.hpp"

EfxEntryPoints efx;

namespace {

constexpr std::array<TypeRow, 13> kEffectTypes{{
    {" Reverb            ", AL_EFFECT_REVERB},
    {" EAX Reverb        ", AL_EFFECT_EAXREVERB},
    {" Chorus            ", AL_EFFECT_CHORUS},
    {" Distortion        ", AL_EFFECT_DISTORTION},
    {" Echo              ", AL_EFFECT_ECHO},
    {" Flanger           ", AL_EFFECT_FLANGER},
    {" Frequency Shifter ", AL_EFFECT_FREQUENCY_SHIFTER},
    {" Vocal Morpher     ", AL_EFFECT_VOCAL_MORPHER},
    {" Pitch Shifter     ", AL_EFFECT_PITCH_SHIFTER},
    {" Ring Modulator    ", AL_EFFECT_RING_MODULATOR},
    {" Autowah           ", AL_EFFECT_AUTOWAH},
    {" Compressor        ", AL_EFFECT_COMPRESSOR},
    {" Equalizer         ", AL_EFFECT_EQUALIZER},
}};

constexpr std::array<TypeRow, 3> kFilterTypes{{
    {" Low Pass          ", AL_FILTER_LOWPASS},
    {" High Pass         ", AL_FILTER_HIGHPASS},
    {" Band Pass         ", AL_FILTER_BANDPASS},
}};

template <std::size_t N>
constexpr bool name_fields_fit(const std::array<TypeRow, N>& rows) {
    for (const TypeRow& row : rows) {
        if (std::string_view(row.nameField).size() != kTypeNameWidth) return false;
    }
    return true;
}
static_assert(name_fields_fit(kEffectTypes), "every effect name field is 19 characters");
static_assert(name_fields_fit(kFilterTypes), "every filter name field is 19 characters");

// Names of the slots the count created; entry i holds the (i+1)-th slot.
std::array<ALuint, kMaxCountedSlots> slotNames{};
int slotCount = 0;

// The effect of the effect section, then the filter of the filter section.
ALuint probeObject = 0;
// "alEffecti", then "alFilteri": both take (object, parameter, value).
LPALEFFECTI probeSetter = nullptr;

template <typename Function>
Function look_up(const char* name) {
    return reinterpret_cast<Function>(alGetProcAddress(name));
}

}  // namespace

const std::span<const TypeRow> effectTypeTable{kEffectTypes};
const std::span<const TypeRow> filterTypeTable{kFilterTypes};

bool EfxEntryPoints::all_bound() const {
    return alGenEffects && alDeleteEffects && alGenFilters && alDeleteFilters &&
           alGenAuxiliaryEffectSlots && alDeleteAuxiliaryEffectSlots;
}

void bind_efx_entry_points() {
    efx.alGenEffects = look_up<LPALGENEFFECTS>("alGenEffects");
    efx.alDeleteEffects = look_up<LPALDELETEEFFECTS>("alDeleteEffects");
    efx.alGenFilters = look_up<LPALGENFILTERS>("alGenFilters");
    efx.alDeleteFilters = look_up<LPALDELETEFILTERS>("alDeleteFilters");
    efx.alGenAuxiliaryEffectSlots = look_up<LPALGENAUXILIARYEFFECTSLOTS>("alGenAuxiliaryEffectSlots");
    efx.alDeleteAuxiliaryEffectSlots =
        look_up<LPALDELETEAUXILIARYEFFECTSLOTS>("alDeleteAuxiliaryEffectSlots");
}

int count_auxiliary_effect_slots() {
    slotNames.fill(0);
    slotCount = 0;
    // One slot per call; the refused attempt is not counted and the loop
    // never tries again.
    while (slotCount < kMaxCountedSlots) {
        efx.alGenAuxiliaryEffectSlots(1, &slotNames[static_cast<std::size_t>(slotCount)]);
        if (alGetError() != AL_NO_ERROR) break;
        ++slotCount;
    }
    return slotCount;
}

void delete_counted_slots() {
    efx.alDeleteAuxiliaryEffectSlots(slotCount, slotNames.data());
}

ALCint read_send_count(ALCdevice* device) {
    ALCint sends = 0;
    alcGetIntegerv(device, ALC_MAX_AUXILIARY_SENDS, 1, &sends);
    return sends;
}

bool create_probe_effect() {
    efx.alGenEffects(1, &probeObject);
    return alGetError() == AL_NO_ERROR;
}

bool create_probe_filter() {
    efx.alGenFilters(1, &probeObject);
    return alGetError() == AL_NO_ERROR;
}

void delete_probe_effect() { efx.alDeleteEffects(1, &probeObject); }

void delete_probe_filter() { efx.alDeleteFilters(1, &probeObject); }

bool bind_probe_setter(const char* name) {
    probeSetter = look_up<LPALEFFECTI>(name);
    return probeSetter != nullptr;
}

void type_probe(const char* nameField, ALenum parameter, ALint value) {
    probeSetter(probeObject, parameter, value);
    const bool accepted = alGetError() == AL_NO_ERROR;
    print_line(heap_join(nameField, accepted ? "YES" : "NO"));
}
