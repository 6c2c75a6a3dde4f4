// Checks the behaviours of the stand-in OpenAL library that the program
// tests rely on. The library is linked in; each case writes its scenario and
// reloads it.

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fakeal_support.hpp"
#include "program_run.hpp"

namespace {

using Lines = std::vector<std::string>;

// A scenario loaded into the linked stand-in, with its sandbox.
struct Loaded {
    fakeal::Sandbox box;
    explicit Loaded(const Lines& scenario) : box(scenario)
    {
        box.exportToProcess();
        fakeal_reload();
    }
    // The log lines from line `from` on.
    Lines log(std::size_t from = 0) const
    {
        Lines all = box.logLines();
        return Lines(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }
};

// Opens the first device and makes a context on it current.
ALCdevice* openCurrent()
{
    ALCdevice* dev = alcOpenDevice(nullptr);
    alcMakeContextCurrent(alcCreateContext(dev, nullptr));
    return dev;
}

template <typename F>
F proc(const char* name)
{
    return reinterpret_cast<F>(alGetProcAddress(name));
}

TEST(FakeAl, PlaybackSequenceIsLoggedCallByCall)
{
    Loaded run({"device = A", "device = B", "default_device = B", "playing_polls = 2"});
    const ALCchar* list = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(list, 5), std::string("A\0B\0\0", 5));
    EXPECT_EQ(alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT"), ALC_TRUE);
    EXPECT_STREQ(alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER), "B");
    ALCdevice* dev = alcOpenDevice("B");
    ALCcontext* ctx = alcCreateContext(dev, nullptr);
    alcMakeContextCurrent(ctx);

    ALuint buffer = 0;
    ALuint source = 0;
    alGenBuffers(1, &buffer);
    const ALenum format = alGetEnumValue("AL_FORMAT_STEREO16");
    const unsigned char pcm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    alBufferData(buffer, format, pcm, sizeof pcm, 44100);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    alGenSources(1, &source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    EXPECT_EQ(state, AL_INITIAL);
    alSourcePlay(source);
    std::vector<ALint> polls;
    for (int i = 0; i < 3; ++i) {
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        polls.push_back(state);
    }
    EXPECT_EQ(polls, (std::vector<ALint>{AL_PLAYING, AL_PLAYING, AL_STOPPED}));
    alSourceStop(source);
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(ctx);
    alcCloseDevice(dev);

    EXPECT_EQ(run.log(), (Lines{
                             R"(alcGetString(NULL, 0x1005) -> "A\0B\0\0")",
                             R"(alcIsExtensionPresent(NULL, "ALC_ENUMERATION_EXT") -> 1)",
                             R"(alcGetString(NULL, 0x1004) -> "B")",
                             R"(alcOpenDevice("B") -> dev1)",
                             "alcCreateContext(dev1, NULL) -> ctx1",
                             "alcMakeContextCurrent(ctx1)",
                             "alGenBuffers(1) -> [1]",
                             R"(alGetEnumValue("AL_FORMAT_STEREO16") -> 0x1103)",
                             "alBufferData(1, 0x1103, size=8, freq=44100)",
                             "alGetError() -> 0x0",
                             "alGenSources(1) -> [1]",
                             "alSourcei(1, 0x1009, 1)",
                             "alGetSourcei(1, 0x1010) -> 0x1011",
                             "alSourcePlay(1)",
                             "alGetSourcei(1, 0x1010) -> 0x1012",
                             "alGetSourcei(1, 0x1010) -> 0x1012",
                             "alGetSourcei(1, 0x1010) -> 0x1014",
                             "alSourceStop(1)",
                             "alDeleteSources(1, [1])",
                             "alDeleteBuffers(1, [1])",
                             "alcMakeContextCurrent(NULL)",
                             "alcDestroyContext(ctx1)",
                             "alcCloseDevice(dev1)",
                         }));
    EXPECT_EQ(run.box.bufferData(1), (std::vector<unsigned char>(pcm, pcm + 8)));
    EXPECT_FALSE(run.box.bufferData(2).has_value());
}

TEST(FakeAl, FirstPendingErrorStaysUntilRead)
{
    Loaded run({});
    openCurrent();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    alSourcePlay(77);                                  // AL_INVALID_NAME
    alBufferData(buffer, 0x4242, nullptr, 0, 44100);   // AL_INVALID_ENUM, not kept
    EXPECT_EQ(alGetError(), AL_INVALID_NAME);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    alcMakeContextCurrent(nullptr);
    EXPECT_EQ(alGetError(), AL_INVALID_OPERATION);     // no current context
    EXPECT_EQ(run.log().back(), "alGetError() -> 0xA004 [no context]");
}

// Scenario switches that make an otherwise valid call leave an error.
struct ErrorRow {
    const char* what;
    Lines scenario;
    void (*act)();
    ALenum expected;
};

TEST(FakeAl, ScenarioInjectsErrors)
{
    static const unsigned char kPcm[4] = {};
    const ErrorRow rows[] = {
        {"plain effect creation", {}, [] { ALuint e; proc<LPALGENEFFECTS>("alGenEffects")(1, &e); },
         AL_NO_ERROR},
        {"gen_effects error", {"gen_effects = error"},
         [] { ALuint e; proc<LPALGENEFFECTS>("alGenEffects")(1, &e); }, AL_OUT_OF_MEMORY},
        {"gen_filters error", {"gen_filters = error"},
         [] { ALuint f; proc<LPALGENFILTERS>("alGenFilters")(1, &f); }, AL_OUT_OF_MEMORY},
        {"buffer_data error", {"buffer_data = error"},
         [] { ALuint b; alGenBuffers(1, &b); alBufferData(b, AL_FORMAT_MONO16, kPcm, 4, 8000); },
         AL_INVALID_VALUE},
        {"size not whole frames", {},
         [] { ALuint b; alGenBuffers(1, &b); alBufferData(b, AL_FORMAT_STEREO16, kPcm, 2, 8000); },
         AL_INVALID_VALUE},
        {"error_after slot deletion", {"error_after = alDeleteAuxiliaryEffectSlots"},
         [] { proc<LPALDELETEAUXILIARYEFFECTSLOTS>("alDeleteAuxiliaryEffectSlots")(0, nullptr); },
         AL_INVALID_OPERATION},
        {"refused effect type", {"refuse_effect = 0x8000"},
         [] {
             ALuint e;
             proc<LPALGENEFFECTS>("alGenEffects")(1, &e);
             proc<LPALEFFECTI>("alEffecti")(e, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
         },
         AL_INVALID_VALUE},
        {"other effect type still accepted", {"refuse_effect = 0x8000"},
         [] {
             ALuint e;
             proc<LPALGENEFFECTS>("alGenEffects")(1, &e);
             proc<LPALEFFECTI>("alEffecti")(e, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
         },
         AL_NO_ERROR},
        {"refused filter type", {"refuse_filter = 2"},
         [] {
             ALuint f;
             proc<LPALGENFILTERS>("alGenFilters")(1, &f);
             proc<LPALFILTERI>("alFilteri")(f, AL_FILTER_TYPE, AL_FILTER_HIGHPASS);
         },
         AL_INVALID_VALUE},
        {"buffer deleted while attached", {},
         [] {
             ALuint b, s;
             alGenBuffers(1, &b);
             alGenSources(1, &s);
             alSourcei(s, AL_BUFFER, static_cast<ALint>(b));
             alDeleteBuffers(1, &b);
         },
         AL_INVALID_OPERATION},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Loaded run(row.scenario);
        openCurrent();
        row.act();
        EXPECT_EQ(alGetError(), row.expected);
    }
}

TEST(FakeAl, SlotLimitCountsLiveSlots)
{
    Loaded run({"max_slots = 2"});
    openCurrent();
    auto gen = proc<LPALGENAUXILIARYEFFECTSLOTS>("alGenAuxiliaryEffectSlots");
    auto del = proc<LPALDELETEAUXILIARYEFFECTSLOTS>("alDeleteAuxiliaryEffectSlots");
    ALuint slots[3] = {0, 0, 0};
    std::vector<ALenum> errors;
    for (ALuint& s : slots) {
        gen(1, &s);
        errors.push_back(alGetError());
    }
    EXPECT_EQ(errors, (std::vector<ALenum>{AL_NO_ERROR, AL_NO_ERROR, AL_OUT_OF_MEMORY}));
    EXPECT_EQ(slots[2], 0u) << "a refused creation writes nothing";
    del(2, slots);
    gen(1, &slots[2]);
    EXPECT_EQ(alGetError(), AL_NO_ERROR) << "deleted slots free their places";
    const Lines log = run.log();
    EXPECT_NE(std::find(log.begin(), log.end(), "alGenAuxiliaryEffectSlots(1) -> []"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "alDeleteAuxiliaryEffectSlots(2, [1, 2])"), log.end());
}

TEST(FakeAl, UnlimitedSlotsAllowMoreThan129)
{
    Loaded run({});
    openCurrent();
    auto gen = proc<LPALGENAUXILIARYEFFECTSLOTS>("alGenAuxiliaryEffectSlots");
    std::vector<ALuint> slots(200);
    gen(200, slots.data());
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(slots.back(), 200u);
}

TEST(FakeAl, EnumerationCarriesHostileNames)
{
    const std::string longName(400, 'n');
    Loaded run({R"(device = "\e[31mRed # not a comment")", "device = " + longName,
                R"(device = tab\there  # comment)", "default_device = absent"});
    const ALCchar* list = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    ASSERT_NE(list, nullptr);
    Lines names;
    for (const char* p = list; *p != '\0'; p += std::strlen(p) + 1) names.push_back(p);
    EXPECT_EQ(names, (Lines{"\x1b[31mRed # not a comment", longName, "tab\there"}));
    EXPECT_EQ(alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER), nullptr);
    EXPECT_EQ(alcOpenDevice(longName.c_str()) != nullptr, true);
    const Lines log = run.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], R"(alcGetString(NULL, 0x1005) -> "\e[31mRed # not a comment\0)" + longName +
                          R"(\0tab\there\0\0")");
    EXPECT_EQ(log[1], "alcGetString(NULL, 0x1004) -> NULL");
    EXPECT_EQ(log[2], "alcOpenDevice(\"" + longName + "\") -> dev1");
}

TEST(FakeAl, EnumerationVariants)
{
    struct Row {
        Lines scenario;
        const char* expectedLog;
    };
    const Row rows[] = {
        {{}, R"(alcGetString(NULL, 0x1005) -> "Fake Device\0\0")"},
        {{"devices = none"}, R"(alcGetString(NULL, 0x1005) -> "\0")"},
        {{"enumeration = absent"}, "alcGetString(NULL, 0x1005) -> NULL"},
        {{R"(device = \xC3\xA9)"}, R"(alcGetString(NULL, 0x1005) -> "\xC3\xA9\0\0")"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expectedLog);
        Loaded run(row.scenario);
        alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
        EXPECT_EQ(run.log(), Lines{row.expectedLog});
    }
}

TEST(FakeAl, ExtensionsAndSendsFollowScenario)
{
    Loaded run({"enumeration_ext = no", "efx_extension = no", "max_sends = unset"});
    EXPECT_EQ(alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT"), ALC_FALSE);
    ALCdevice* dev = openCurrent();
    EXPECT_EQ(alcIsExtensionPresent(dev, "ALC_EXT_EFX"), ALC_FALSE);
    ALCint sends = -7;
    alcGetIntegerv(dev, ALC_MAX_AUXILIARY_SENDS, 1, &sends);
    EXPECT_EQ(sends, -7);
    EXPECT_EQ(run.log().back(), "alcGetIntegerv(dev1, 0x20003, 1) -> stored nothing");

    Loaded defaults({});
    dev = openCurrent();
    EXPECT_EQ(alcIsExtensionPresent(nullptr, "ALC_EXT_EFX"), ALC_FALSE) << "EFX is a device extension";
    EXPECT_EQ(alcIsExtensionPresent(dev, "alc_ext_efx"), ALC_TRUE);
    alcGetIntegerv(dev, ALC_MAX_AUXILIARY_SENDS, 1, &sends);
    EXPECT_EQ(sends, 2);
    EXPECT_EQ(defaults.log().back(), "alcGetIntegerv(dev1, 0x20003, 1) -> 2");
}

TEST(FakeAl, LookupsFollowScenario)
{
    Loaded run({"missing_proc = alFilteri", "unknown_enum = AL_FORMAT_51CHN16", "open_device = fail",
                "create_context = fail"});
    run.box.allowUnexpectedCalls();
    EXPECT_EQ(alGetProcAddress("alFilteri"), nullptr);
    EXPECT_EQ(alGetProcAddress("alIsEffect"), nullptr);
    EXPECT_NE(alGetProcAddress("alEffecti"), nullptr);
    EXPECT_EQ(alGetEnumValue("AL_FORMAT_51CHN16"), 0);
    EXPECT_EQ(alGetEnumValue("AL_FORMAT_71CHN16"), AL_FORMAT_71CHN16);
    EXPECT_EQ(alGetEnumValue("AL_INVALID_VALUE"), 0);
    EXPECT_EQ(alcGetString(nullptr, ALC_EXTENSIONS), nullptr);
    EXPECT_EQ(alcOpenDevice("Fake Device"), nullptr);
    EXPECT_EQ(run.log(), (Lines{
                             R"(alGetProcAddress("alFilteri") -> NULL)",
                             R"(unexpected call: alGetProcAddress("alIsEffect"))",
                             R"(alGetProcAddress("alEffecti") -> alEffecti)",
                             R"(alGetEnumValue("AL_FORMAT_51CHN16") -> 0x0)",
                             R"(alGetEnumValue("AL_FORMAT_71CHN16") -> 0x1211)",
                             R"(unexpected call: alGetEnumValue("AL_INVALID_VALUE"))",
                             "unexpected call: alcGetString(NULL, 0x1006)",
                             R"(alcOpenDevice("Fake Device") -> NULL)",
                         }));
}

// A program built against the real library picks the stand-in up through
// LD_LIBRARY_PATH, and the log survives the program being killed.
TEST(FakeAl, ReplacesTheRealLibraryInAChildProcess)
{
    fakeal::Sandbox box({"device = Child"});
    const ProgramRun run = run_program_with_input(FAKEAL_PROBE, as_environment(box.environment()), "");
    EXPECT_EQ(run.signal, SIGKILL) << "exit code " << run.exitCode;
    EXPECT_EQ(box.logLines(), (Lines{R"(alcGetString(NULL, 0x1005) -> "Child\0\0")",
                                     R"(alcOpenDevice("Child") -> dev1)"}));
}

}  // namespace
