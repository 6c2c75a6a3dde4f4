// The ALC calls: the device list, devices and contexts.

#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <strings.h>

#include "fakeal_state.hpp"
#include "fakeal_text.hpp"

using namespace fakeal;

extern "C" {

// Only the enumeration and the default device, both asked of no device.
const ALCchar* alcGetString(ALCdevice* device, ALCenum param)
{
    auto [lock, st] = enter();
    const std::string head = call("alcGetString", {deviceLabel(st, device), hexNumber(param)});
    const char* result = nullptr;
    std::string shown;  // the result as logged
    if (device != nullptr) {
        unexpected(head);
        return nullptr;
    }
    if (param == ALC_DEVICE_SPECIFIER) {
        if (st.sc.enumerationPresent) {
            result = st.enumeration.c_str();
            // The list ends with its closing empty string: one NUL more.
            shown = quoteBytes(std::string_view(result, st.enumeration.size() + 1));
        }
    } else if (param == ALC_DEFAULT_DEVICE_SPECIFIER) {
        if (st.sc.defaultKind == Scenario::Default::Named)
            result = st.sc.defaultName.c_str();
        else if (st.sc.defaultKind == Scenario::Default::First && !st.sc.devices.empty())
            result = st.sc.devices.front().c_str();
    } else {
        unexpected(head);
        return nullptr;
    }
    if (shown.empty()) shown = quoted(result);
    finish(st, "alcGetString", head + " -> " + shown);
    return result;
}

// ALC_ENUMERATION_EXT (asked of no device) and ALC_EXT_EFX (a device
// extension), compared without regard to case as the real library does.
ALCboolean alcIsExtensionPresent(ALCdevice* device, const ALCchar* extname)
{
    auto [lock, st] = enter();
    const std::string head = call("alcIsExtensionPresent", {deviceLabel(st, device), quoted(extname)});
    Device* dev = findDevice(st, device);
    ALCboolean result = ALC_FALSE;
    if ((device != nullptr && dev == nullptr) || extname == nullptr) {
        unexpected(head);
        return ALC_FALSE;
    }
    if (strcasecmp(extname, "ALC_ENUMERATION_EXT") == 0) {
        result = st.sc.enumerationExt ? ALC_TRUE : ALC_FALSE;
    } else if (strcasecmp(extname, "ALC_EXT_EFX") == 0) {
        result = dev != nullptr && st.sc.efxExtension ? ALC_TRUE : ALC_FALSE;
    } else if (strcasecmp(extname, "ALC_EXT_disconnect") == 0 && dev != nullptr) {
        result = ALC_TRUE;
    } else {
        unexpected(head);
        return ALC_FALSE;
    }
    finish(st, "alcIsExtensionPresent", head + " -> " + dec(result));
    return result;
}

ALCdevice* alcOpenDevice(const ALCchar* devicename)
{
    auto [lock, st] = enter();
    const std::string head = call("alcOpenDevice", {quoted(devicename)});
    ALCdevice* result = nullptr;
    if (!st.sc.openOk) {
        st.nullDeviceError = ALC_INVALID_VALUE;
    } else {
        Device& d = st.devices.emplace_back();
        d.id = static_cast<int>(st.devices.size());
        if (devicename != nullptr)
            d.name = devicename;
        else if (!st.sc.devices.empty())
            d.name = st.sc.devices.front();
        result = reinterpret_cast<ALCdevice*>(&d);
    }
    finish(st, "alcOpenDevice", head + " -> " + deviceLabel(st, result));
    return result;
}

ALCcontext* alcCreateContext(ALCdevice* device, const ALCint* attrlist)
{
    auto [lock, st] = enter();
    const std::string head = call("alcCreateContext", {deviceLabel(st, device), attrlist ? "[...]" : "NULL"});
    if (attrlist != nullptr) {
        unexpected(head);
        return nullptr;
    }
    ALCcontext* result = nullptr;
    Device* dev = findDevice(st, device);
    if (dev == nullptr) {
        alcError(st, device, ALC_INVALID_DEVICE);
    } else if (!st.sc.contextOk) {
        alcError(st, device, ALC_INVALID_VALUE);
    } else {
        Context& c = st.contexts.emplace_back();
        c.id = static_cast<int>(st.contexts.size());
        c.device = dev;
        result = reinterpret_cast<ALCcontext*>(&c);
    }
    finish(st, "alcCreateContext", head + " -> " + contextLabel(st, result));
    return result;
}

ALCboolean alcMakeContextCurrent(ALCcontext* context)
{
    auto [lock, st] = enter();
    const std::string line = call("alcMakeContextCurrent", {contextLabel(st, context)});
    ALCboolean result = ALC_TRUE;
    if (context == nullptr) {
        st.current = nullptr;
    } else if (Context* c = findContext(st, context)) {
        st.current = c;
    } else {
        st.nullDeviceError = ALC_INVALID_CONTEXT;
        result = ALC_FALSE;
    }
    finish(st, "alcMakeContextCurrent", line);
    return result;
}

void alcDestroyContext(ALCcontext* context)
{
    auto [lock, st] = enter();
    const std::string line = call("alcDestroyContext", {contextLabel(st, context)});
    if (Context* c = findContext(st, context)) {
        c->live = false;
        if (st.current == c) st.current = nullptr;
    } else {
        st.nullDeviceError = ALC_INVALID_CONTEXT;
    }
    finish(st, "alcDestroyContext", line);
}

ALCboolean alcCloseDevice(ALCdevice* device)
{
    auto [lock, st] = enter();
    const std::string line = call("alcCloseDevice", {deviceLabel(st, device)});
    ALCboolean result = ALC_FALSE;
    if (Device* d = findDevice(st, device)) {
        // Contexts still on the device go with it, as in OpenAL Soft.
        for (auto& c : st.contexts) {
            if (c.device == d && c.live) {
                c.live = false;
                if (st.current == &c) st.current = nullptr;
            }
        }
        d->live = false;
        result = ALC_TRUE;
    } else {
        st.nullDeviceError = ALC_INVALID_DEVICE;
    }
    finish(st, "alcCloseDevice", line);
    return result;
}

// Only ALC_MAX_AUXILIARY_SENDS, one value, of an open device.
void alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values)
{
    auto [lock, st] = enter();
    const std::string head =
        call("alcGetIntegerv", {deviceLabel(st, device), hexNumber(param), dec(size)});
    if (param == ALC_CONNECTED && size == 1 && values != nullptr && findDevice(st, device) != nullptr) {
        values[0] = st.sc.deviceConnected ? ALC_TRUE : ALC_FALSE;
        finish(st, "alcGetIntegerv", head + " -> " + dec(values[0]));
        return;
    }
    if (param != ALC_MAX_AUXILIARY_SENDS || size != 1 || values == nullptr || findDevice(st, device) == nullptr) {
        unexpected(head);
        return;
    }
    const std::optional<ALCint> stored = st.sc.maxSends;
    if (stored) values[0] = *stored;
    finish(st, "alcGetIntegerv", head + " -> " + (stored ? dec(*stored) : std::string("stored nothing")));
}

}  // extern "C"
