// The EFX calls: effects, filters and auxiliary effect slots. They are not
// exported: like the real library's users, the programs must reach them
// through alGetProcAddress, which is here too.

#include <AL/al.h>
#include <AL/efx.h>


#include "fakeal_state.hpp"
#include "fakeal_text.hpp"

using namespace fakeal;

namespace {

bool knownEffectType(ALint v)
{
    return (v >= AL_EFFECT_NULL && v <= AL_EFFECT_EQUALIZER) || v == AL_EFFECT_EAXREVERB;
}

bool knownFilterType(ALint v) { return v >= AL_FILTER_NULL && v <= AL_FILTER_BANDPASS; }

void fakeGenEffects(ALsizei n, ALuint* effects) noexcept
{
    auto [lock, st] = enter();
    genNames(st, "alGenEffects", n, effects, st.nextEffect,
             st.sc.genEffectsOk ? AL_NO_ERROR : AL_OUT_OF_MEMORY,
             [&](ALuint name) { st.effects[name] = AL_EFFECT_NULL; });
}

void fakeDeleteEffects(ALsizei n, const ALuint* effects) noexcept
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteEffects", n, effects, st.effects, true, [](ALuint) { return false; });
}

void fakeGenFilters(ALsizei n, ALuint* filters) noexcept
{
    auto [lock, st] = enter();
    genNames(st, "alGenFilters", n, filters, st.nextFilter,
             st.sc.genFiltersOk ? AL_NO_ERROR : AL_OUT_OF_MEMORY,
             [&](ALuint name) { st.filters[name] = AL_FILTER_NULL; });
}

void fakeDeleteFilters(ALsizei n, const ALuint* filters) noexcept
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteFilters", n, filters, st.filters, true, [](ALuint) { return false; });
}

void fakeGenAuxiliaryEffectSlots(ALsizei n, ALuint* slots) noexcept
{
    auto [lock, st] = enter();
    const bool overLimit =
        st.sc.maxSlots && static_cast<long long>(st.slots.size()) + n > *st.sc.maxSlots;
    genNames(st, "alGenAuxiliaryEffectSlots", n, slots, st.nextSlot,
             overLimit && n > 0 ? AL_OUT_OF_MEMORY : AL_NO_ERROR,
             [&](ALuint name) { st.slots.insert(name); });
}

void fakeDeleteAuxiliaryEffectSlots(ALsizei n, const ALuint* slots) noexcept
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteAuxiliaryEffectSlots", n, slots, st.slots, false,
                [](ALuint) { return false; });
}

// alEffecti and alFilteri: only the type parameter is modelled.
void setType(State& st, const char* fn, std::map<ALuint, ALint>& objects, const std::set<long long>& refused,
             bool (*known)(ALint), ALuint object, ALenum param, ALint value)
{
    const std::string line = call(fn, {dec(object), hexNumber(param), hexNumber(value)});
    if (noContext(st, fn, line)) return;
    const auto it = objects.find(object);
    if (it == objects.end())
        alError(st, AL_INVALID_NAME);
    else if (param != AL_EFFECT_TYPE)  // AL_FILTER_TYPE has the same value
        alError(st, AL_INVALID_ENUM);
    else if (!known(value) || refused.count(value) != 0)
        alError(st, AL_INVALID_VALUE);
    else
        it->second = value;
    finish(st, fn, line);
}

void fakeEffecti(ALuint effect, ALenum param, ALint value) noexcept
{
    auto [lock, st] = enter();
    setType(st, "alEffecti", st.effects, st.sc.refuseEffect, knownEffectType, effect, param, value);
}

void fakeFilteri(ALuint filter, ALenum param, ALint value) noexcept
{
    auto [lock, st] = enter();
    setType(st, "alFilteri", st.filters, st.sc.refuseFilter, knownFilterType, filter, param, value);
}

// The assignments check each stand-in against the EFX type the installed
// efx.h publishes. Newer OpenAL Soft headers declare those pointer types
// noexcept and older ones do not; a noexcept function converts to either.
const LPALGENEFFECTS kGenEffects = fakeGenEffects;
const LPALDELETEEFFECTS kDeleteEffects = fakeDeleteEffects;
const LPALGENFILTERS kGenFilters = fakeGenFilters;
const LPALDELETEFILTERS kDeleteFilters = fakeDeleteFilters;
const LPALGENAUXILIARYEFFECTSLOTS kGenSlots = fakeGenAuxiliaryEffectSlots;
const LPALDELETEAUXILIARYEFFECTSLOTS kDeleteSlots = fakeDeleteAuxiliaryEffectSlots;
const LPALEFFECTI kEffecti = fakeEffecti;
const LPALFILTERI kFilteri = fakeFilteri;

}  // namespace

extern "C" {

// The eight EFX functions only.
void* alGetProcAddress(const ALchar* fname)
{
    struct Proc {
        const char* name;
        void* address;
    };
    static const Proc kProcs[] = {
        {"alGenEffects", reinterpret_cast<void*>(kGenEffects)},
        {"alDeleteEffects", reinterpret_cast<void*>(kDeleteEffects)},
        {"alGenFilters", reinterpret_cast<void*>(kGenFilters)},
        {"alDeleteFilters", reinterpret_cast<void*>(kDeleteFilters)},
        {"alGenAuxiliaryEffectSlots", reinterpret_cast<void*>(kGenSlots)},
        {"alDeleteAuxiliaryEffectSlots", reinterpret_cast<void*>(kDeleteSlots)},
        {"alEffecti", reinterpret_cast<void*>(kEffecti)},
        {"alFilteri", reinterpret_cast<void*>(kFilteri)},
    };
    auto [lock, st] = enter();
    const std::string head = call("alGetProcAddress", {quoted(fname)});
    const Proc* found = byName(kProcs, fname);
    if (found == nullptr) {
        unexpected(head);
        return nullptr;
    }
    const bool missing = st.sc.missingProc.count(fname) != 0;
    finish(st, "alGetProcAddress", head + " -> " + (missing ? "NULL" : found->name));
    return missing ? nullptr : found->address;
}

}  // extern "C"
