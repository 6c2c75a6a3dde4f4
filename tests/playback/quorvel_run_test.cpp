// Whole runs of quorvel, keys on standard input (a pipe, so its bytes are
// the keys): "1" picks the first device, "x" ends the final wait. Against
// the real OpenAL Soft (null and wave-file backends) and the stand-in.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

#include "fakeal_support.hpp"
#include "temporary_folder.hpp"
#include "program_run.hpp"
#include "programs_under_test.hpp"
#include "run_layout.hpp"
#include "sound_server.hpp"
#include "wave_builder.hpp"
#include "wave_signal.hpp"

using namespace wavetest;
namespace fs = std::filesystem;

namespace {

const std::vector<std::pair<std::string, std::string>> kNullBackend = {{"ALSOFT_DRIVERS", "null"}};

const std::string kPlayingSource = "Playing Source ";

// The number of dots after kPlayingSource, or -1 without that text.
int dots(const std::string& out) {
    auto at = out.find(kPlayingSource);
    if (at == std::string::npos) return -1;
    at += kPlayingSource.size();
    size_t end = out.find_first_not_of('.', at);
    return static_cast<int>((end == std::string::npos ? out.size() : end) - at);
}

struct ShortCase {
    const char* name;
    Bytes file;
    const char* expected;  // the text from the device line to the final wait
    bool directory = false;  // Footsteps.wav is a directory
};

void PrintTo(const ShortCase& c, std::ostream* os) { *os << c.name; }

class QuorvelShortRun : public testing::TestWithParam<std::tuple<std::string, ShortCase>> {};

TEST_P(QuorvelShortRun, PrintsTheJobLines) {
    const auto& [platform, c] = GetParam();
    RunLayout layout(platform);
    if (!c.file.empty()) layout.put_media(c.file);
    if (c.directory) fs::create_directories(layout.file("Media/Footsteps.wav"));
    ProgramRun r = layout.run(kNullBackend);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(c.expected), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(
    Files, QuorvelShortRun,
    testing::Combine(testing::ValuesIn(platforms_under_test()), testing::Values(
        // 10 ms: the null backend's mixer may wake 90 ms late before the dot.
        ShortCase{"sound_under_100ms", tone(44100, 440, 0.01),
                  "Opened OpenAL Soft Device\nPlaying Source .\n\nPress any key to exit"},
        ShortCase{"empty_data_chunk", riff({chunk("fmt ", fmt_body(1, 2, 44100, 16)), chunk("data", {})}),
                  "Opened OpenAL Soft Device\nPlaying Source .\n\nPress any key to exit"},
        ShortCase{"missing_file", {}, "Opened OpenAL Soft Device\n-ERR: Failed to load Footsteps.wav\n\nPress any key to exit"},
        ShortCase{"not_a_wave_file", Bytes(100, 'x'),
                  "Opened OpenAL Soft Device\n-ERR: Failed to load Footsteps.wav\n\nPress any key to exit"},
        ShortCase{"media_file_is_a_directory", {},
                  "Opened OpenAL Soft Device\n-ERR: Failed to load Footsteps.wav\n\nPress any key to exit", true})),
    [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param).name; });

// ---- the rendered sound, through OpenAL Soft's wave-file writer ----

class QuorvelRender : public testing::TestWithParam<std::string> {};

TEST_P(QuorvelRender, TheRenderedSoundIsTheToneOfTheFile) {
    constexpr double kHz = 880, kSeconds = 1.0;
    RunLayout layout(GetParam());
    layout.put_media(tone(22050, kHz, kSeconds));  // resampled to the device rate on the way
    std::string output = layout.file("rendered.wav");
    std::ofstream(layout.file("alsoft.conf")) << "[wave]\nfile=" << output << "\n";
    ProgramRun r = layout.run({{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", layout.file("alsoft.conf")}});
    ASSERT_EQ(r.exitCode, 0) << r.output;

    Signal rendered = read_signal(output);
    ASSERT_GT(rendered.rate, 0u);
    const std::vector<double> sound = sounding(rendered.left, 0.02);  // the span where the tone sounds
    ASSERT_FALSE(sound.empty()) << "nothing was rendered";
    EXPECT_NEAR(double(sound.size()) / rendered.rate, kSeconds, 0.05);

    // Its frequency from the zero crossings, and its energy concentrated there.
    EXPECT_NEAR(crossing_frequency(sound, rendered.rate), kHz, kHz * 0.01);
    double on = power_at(sound, rendered.rate, kHz);
    for (double off : {kHz * 0.75, kHz * 1.5, kHz * 2})
        EXPECT_GT(on, 1000 * power_at(sound, rendered.rate, off)) << off << " Hz";
}

INSTANTIATE_TEST_SUITE_P(Platforms, QuorvelRender, testing::ValuesIn(platforms_under_test()),
                         [](const auto& info) { return info.param; });

// ---- with the stand-in OpenAL: the calls the job makes ----

// The whole output, and the job's calls, exactly and in order, between the
// frame's alcMakeContextCurrent(ctx1) and alcMakeContextCurrent(NULL). A
// refused upload ends the job as a file that cannot be opened does.
struct JobCallCase {
    const char* name;
    std::vector<std::string> scenario;
    bool media;               // a 400-byte stereo file at 44100 Hz
    Bytes samples;
    std::string job_output;   // the job's lines
    std::vector<std::string> calls;
};

const std::string kPlay[] = {"alGenSources(1) -> [1]", "alSourcei(1, 0x1009, 1)", "alSourcePlay(1)"};
const std::string kPlaying = "alGetSourcei(1, 0x1010) -> 0x1012";
const std::string kStopped = "alGetSourcei(1, 0x1010) -> 0x1014";
const std::string kCleanUp[] = {"alSourceStop(1)", "alDeleteSources(1, [1])", "alDeleteBuffers(1, [1])"};

const std::vector<JobCallCase> kJobCallCases = {
    {"plays_until_the_source_stops", {"playing_polls = 3"}, true, pattern(400), "Playing Source ....\n",
     {"alGenBuffers(1) -> [1]", "alGetEnumValue(\"AL_FORMAT_STEREO16\") -> 0x1103",
      "alBufferData(1, 0x1103, size=400, freq=44100)", "alGetError() -> 0x0", kPlay[0], kPlay[1], kPlay[2],
      kPlaying, kPlaying, kPlaying, kStopped, kCleanUp[0], kCleanUp[1], kCleanUp[2]}},
    {"stopped_at_the_first_poll", {"playing_polls = 0"}, true, pattern(400), "Playing Source .\n",
     {"alGenBuffers(1) -> [1]", "alGetEnumValue(\"AL_FORMAT_STEREO16\") -> 0x1103",
      "alBufferData(1, 0x1103, size=400, freq=44100)", "alGetError() -> 0x0", kPlay[0], kPlay[1], kPlay[2],
      kStopped, kCleanUp[0], kCleanUp[1], kCleanUp[2]}},
    {"refused_upload_is_a_failed_load", {"buffer_data = error"}, true, pattern(400),
     "-ERR: Failed to load Footsteps.wav\n",
     {"alGenBuffers(1) -> [1]", "alGetEnumValue(\"AL_FORMAT_STEREO16\") -> 0x1103",
      "alBufferData(1, 0x1103, size=400, freq=44100)", "alGetError() -> 0xA003", kCleanUp[2]}},
    {"empty_data_chunk_uploads_nothing", {}, true, Bytes{}, "Playing Source .\n",
     {"alGenBuffers(1) -> [1]", "alGetEnumValue(\"AL_FORMAT_STEREO16\") -> 0x1103", kPlay[0], kPlay[1],
      kPlay[2], kStopped, kCleanUp[0], kCleanUp[1], kCleanUp[2]}},
    {"missing_file_creates_no_source", {}, false, {}, "-ERR: Failed to load Footsteps.wav\n",
     {"alGenBuffers(1) -> [1]", kCleanUp[2]}},
};

[[maybe_unused]] void PrintTo(const JobCallCase& c, std::ostream* os) { *os << c.name; }

class QuorvelJobCalls : public testing::TestWithParam<std::tuple<std::string, JobCallCase>> {};

TEST_P(QuorvelJobCalls, AreExactlyTheseInThisOrder) {
    const auto& [platform, c] = GetParam();
    RunLayout layout(platform);
    if (c.media) layout.put_media(canonical(2, 44100, c.samples));
    fakeal::Sandbox box(c.scenario);
    ProgramRun r = layout.run(as_environment(box.environment()), "1x", OpenAl::stand_in);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    EXPECT_EQ(r.output, "Quorvel Test Application\n\nSelect OpenAL device:\n1. Fake Device (DEFAULT)\n\n"
                        "Opened Fake Device Device\n" + c.job_output + "\nPress any key to exit");

    EXPECT_EQ(job_calls(box.logLines()), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, QuorvelJobCalls,
                         testing::Combine(testing::ValuesIn(platforms_under_test()), testing::ValuesIn(kJobCallCases)),
                         [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param).name; });

// ---- the pace of the dots against a slow implementation ----

// The source plays for 2 s; each state query takes 50 ms to answer. The dots
// keep to the clock all the same, one per 100 ms of sound (a loop that slept
// 100 ms after each dot would show about 2000 / 150, 14). A query slower than
// the dot interval makes every pass late: the next dot is due at once, about
// one per 150 ms of a 1 s sound. The first row's dots follow the program's
// clock, not its wake-ups: one dot either way. The second's passes last the
// query and the wake-up after it (up to 150 ms on a busy machine: 5 dots
// were seen at a load of 30); a wait that wrapped round instead of being
// due at once would leave one or two.
TEST(QuorvelWithFake, SlowStateAnswersKeepADotPer100MsOfSound) {
    const struct {
        const char* playing;
        const char* delay;
        int fewest, most;
    } rows[] = {{"playing_ms = 2000", "state_delay_ms = 50", 19, 21}, {"playing_ms = 1000", "state_delay_ms = 150", 4, 8}};
    for (const auto& row : rows) {
        RunLayout layout;
        layout.put_media(canonical(2, 44100, pattern(400)));
        fakeal::Sandbox box({row.playing, row.delay});
        ProgramRun r = layout.run(as_environment(box.environment()));
        ASSERT_EQ(r.exitCode, 0) << row.delay << "\n" << r.output;
        EXPECT_GE(dots(r.output), row.fewest) << r.output;
        EXPECT_LE(dots(r.output), row.most) << r.output;
        const std::vector<std::string> log = box.logLines();
        const auto query = [](const std::string& line) { return line.starts_with("alGetSourcei("); };
        EXPECT_EQ(std::count_if(log.begin(), log.end(), query), dots(r.output)) << "one query a dot";
    }
}

// A source that goes on reporting that it plays on a device that is lost, or
// on one whose offset stands still: once the play has outlasted its sound and
// the device latency allowed for (2.5 s), each dot asks the device whether it
// is connected and the source for its offset. A lost device ends the dots at
// once; a frozen offset after it has stood still for 1 s. A 1 s sound keeps a
// watch that starts late (4 x the sound: 3 s later) apart from one on time.
TEST(QuorvelWithFake, TheWatchEndsTheDotsOfASourceThatNeverStops) {
    const struct {
        std::vector<std::string> scenario;
        size_t bytes;            // of 16-bit stereo at 44100 Hz
        int watched_from, dots;  // the dot that starts the watch, the last dot
        std::vector<std::string> last_calls;
    } rows[] = {
        {{"playing_ms = 600000", "device_connected = no"}, 400, 26, 26,
         {"alcGetIntegerv(dev1, 0x313, 1) -> 0", kCleanUp[0], kCleanUp[1], kCleanUp[2]}},
        {{"playing_ms = 15000", "sample_offset = frozen"}, 176400, 35, 45,
         {kPlaying, "alcGetIntegerv(dev1, 0x313, 1) -> 1", "alGetSourcei(1, 0x1025) -> 0", kCleanUp[0], kCleanUp[1],
          kCleanUp[2]}},
    };
    for (const auto& row : rows) {
        RunLayout layout;
        layout.put_media(canonical(2, 44100, pattern(row.bytes)));
        fakeal::Sandbox box(row.scenario);
        ProgramRun r = layout.run(as_environment(box.environment()));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NEAR(dots(r.output), row.dots, 1) << row.scenario[1] << "\n" << r.output;
        EXPECT_TRUE(r.output.ends_with(".\n\nPress any key to exit")) << r.output;
        const std::vector<std::string> log = box.logLines();
        const auto watched = std::find(log.begin(), log.end(), "alcIsExtensionPresent(dev1, \"ALC_EXT_disconnect\") -> 1");
        ASSERT_NE(watched, log.end()) << testing::PrintToString(log);
        EXPECT_NEAR(std::count(log.begin(), watched, kPlaying), row.watched_from, 1) << "one state query a dot until then";
        auto end = std::find(watched, log.end(), kCleanUp[2]);  // the job's last call
        ASSERT_NE(end, log.end()) << testing::PrintToString(log);
        ASSERT_GE(++end - watched, std::ptrdiff_t(row.last_calls.size())) << testing::PrintToString(log);
        EXPECT_EQ(std::vector<std::string>(end - row.last_calls.size(), end), row.last_calls);
        EXPECT_EQ(std::count(log.begin(), end, kPlaying), dots(r.output)) << "one state query a dot";
    }
}
}  // namespace

// ---- through a real sound server (the release's: PulseAudio or PipeWire; and JACK) ----

namespace {

enum class Server { plays, plays_on_the_other_sink, killed_mid_play, killed_before_start, never_started };

struct ServerCase {
    const char* name;
    Server server;
};

void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }

class QuorvelServer : public testing::TestWithParam<std::tuple<std::string, ServerCase>> {};

// The recording holds the file's footsteps, each one as loud. Under load a
// server can put the period before (or silence) in place of a 23 ms period
// of the sound (JACK's graph when a client is late, PulseAudio's null sink),
// and a late mixer inserts silence (OpenAL Soft's own two JACK periods, as
// run.sh leaves them): the RMS of these short loud steps then moves by up to
// 15 %, and the sound stretches. The median peak of the steps stays within
// 2.5 % of the file's (PipeWire's 48 kHz graph included); at a load of 25
// and more, though, up to 0.43 s of the sound went missing (Debian 13:
// pulse, pipewire and jack alike), which took a step's peak down with it,
// and the recorder, a client like any other, lost two of the seven steps
// through PulseAudio at a load of about 20 (Debian 12, 2026-12-09). So: the
// median peak within 15 % (a gain of 0.85 or less fails), more than half of
// the steps heard and sounding for more than half the file's length (silence,
// or the sound sent elsewhere, still fails), the sound no longer than the
// latency the product allows a device (2.5 s) adds.
void expect_heard_as_the_file(const std::string& recorded) {
    const Signal file = read_signal(FOOTSTEPS_PATH), heard = read_signal(recorded);
    const std::vector<double> filePeaks = sound_peaks(file), heardPeaks = sound_peaks(heard);
    ASSERT_GT(heardPeaks.size() * 2, filePeaks.size()) << "the footsteps heard";
    EXPECT_LE(heardPeaks.size(), filePeaks.size()) << "the footsteps heard";
    const double level = filePeaks[filePeaks.size() / 2];
    EXPECT_NEAR(heardPeaks[heardPeaks.size() / 2], level, level * 0.15);
    EXPECT_GE(loudness(heard).seconds, loudness(file).seconds / 2);
    EXPECT_LE(loudness(heard).seconds, loudness(file).seconds + 2.5);
}

// The menu and the device line: the output up to the job's first text.
std::string up_to_job(const std::string& out) {
    const auto at = out.find(" Device\n");
    return at == std::string::npos ? out : out.substr(0, at + 8);
}

TEST_P(QuorvelServer, PlaysThroughItOrEndsWhenItIsGone) {
    const auto& [backend, c] = GetParam();
    const double seconds = wave_seconds(FOOTSTEPS_PATH);
    const int expected = static_cast<int>(seconds * 10);
    RunLayout layout;
    layout.copy_media(FOOTSTEPS_PATH);
    SoundServer server(backend);
    ASSERT_TRUE(server.ready()) << server.problem();
    if (c.server != Server::killed_before_start && c.server != Server::never_started)
        if (const std::string why = server.unloadable(backend); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(server.ready(backend)) << server.problem();
    Environment environment = server.environment(backend);
    ProgramRun r;
    switch (c.server) {
    case Server::plays:
    case Server::plays_on_the_other_sink: {
        // A sink chosen for one run, as a user chooses it: PULSE_SINK for the
        // pulse backend, PIPEWIRE_NODE (a node name) for the pipewire backend.
        const bool other = c.server == Server::plays_on_the_other_sink;
        const std::string recorded = layout.file("recorded.wav"), atDefault = layout.file("default.wav");
        if (other) {
            environment.emplace_back(backend == "pulse" ? "PULSE_SINK" : "PIPEWIRE_NODE", server.otherSink());
            ASSERT_TRUE(server.startRecording(atDefault)) << server.problem();
        }
        ASSERT_TRUE(server.startRecording(recorded, other ? server.otherSink() : "")) << server.problem();
        const auto from = std::chrono::steady_clock::now();
        const double recordedBefore = double(fs::file_size(recorded));
        r = layout.run(environment);
        const std::chrono::duration<double> wallTime = std::chrono::steady_clock::now() - from;
        server.stopRecording();
        // How far the server's clock fell behind meanwhile (JACK's dummy
        // driver does not make up a late cycle: 1 to 5 s in a play at a
        // load of 30): the wall time less what it recorded (16-bit stereo).
        const double late = wallTime.count() - (double(fs::file_size(recorded)) - recordedBefore) / 4 / 44100;
        // The menu as on the null backend: the one device of the plain
        // enumeration, whatever sinks the server has; it is the one opened.
        RunLayout withoutMedia;
        EXPECT_EQ(up_to_job(r.output), up_to_job(withoutMedia.run(kNullBackend).output));
        EXPECT_NE(r.output.find("\nOpened OpenAL Soft Device\nPlaying Source ."), std::string::npos) << r.output;
        // Not before the sound has been mixed (the device's buffer ahead of
        // the clock: JACK's 4096 frames, 93 ms), nor after the latency the
        // product allows a device (2.5 s, its lost-device watch) and the
        // time the server's clock lost.
        EXPECT_GE(dots(r.output), expected * 85 / 100) << r.output;
        EXPECT_LE(dots(r.output), expected + 25 + late * 10) << r.output;
        // The playing sink's monitor holds the footsteps; the default's
        // holds silence when another sink was chosen.
        expect_heard_as_the_file(recorded);
        if (other) {
            EXPECT_EQ(loudness(read_signal(atDefault)).seconds, 0) << "the default sink played";
        }
        break;
    }
    case Server::killed_mid_play: {
        // Killed 1.2 s after the first dot is seen, while the dots go on:
        // timed from the play, whatever the menu and the device took.
        std::optional<std::chrono::steady_clock::time_point> firstDot;
        bool killedWhilePlaying = false;
        r = layout.run(environment, "1x", OpenAl::installed, [&](const std::string& out) {
            if (killedWhilePlaying || !out.ends_with('.') || dots(out) < 1) return;
            if (!firstDot) firstDot = std::chrono::steady_clock::now();
            if (std::chrono::steady_clock::now() - *firstDot < std::chrono::milliseconds(1200)) return;
            server.kill();
            killedWhilePlaying = true;
        });
        EXPECT_TRUE(killedWhilePlaying) << "the dots ended before the server was killed\n" << r.output;
        // The dots end once the device is found lost: no later than the
        // sound's length, the device's latency allowance (2.5 s) and the
        // stall time (1 s) after the play's start, with a second to spare.
        EXPECT_LE(dots(r.output), expected + 45) << r.output;
        break;
    }
    case Server::killed_before_start:  // its sockets stay behind
    case Server::never_started: {
        server.kill();
        TemporaryFolder emptyRuntime;
        if (c.server == Server::never_started)
            for (auto& [name, value] : environment) {
                if (name == "XDG_RUNTIME_DIR") value = emptyRuntime.path().string();
                if (name == "JACK_DEFAULT_SERVER") value += "-never-started";
            }
        r = layout.run(environment);
        EXPECT_NE(r.output.find("1. OpenAL Soft (DEFAULT)\n-ERR: Could not open the specified device\n"),
                  std::string::npos) << r.output;
        break;
    }
    }
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(r.output.ends_with("\n\nPress any key to exit")) << r.output;
}

// Every case on every backend of the release, but the other sink on JACK:
// OpenAL Soft has no setting that sends one run to other JACK ports.
std::vector<std::tuple<std::string, ServerCase>> server_rows() {
    const ServerCase cases[] = {{"plays_and_the_monitor_records_it", Server::plays},
                                {"plays_on_the_other_sink", Server::plays_on_the_other_sink},
                                {"killed_mid_play", Server::killed_mid_play},
                                {"killed_before_start", Server::killed_before_start},
                                {"never_started", Server::never_started}};
    std::vector<std::tuple<std::string, ServerCase>> rows;
    for (const std::string& backend : SoundServer::releaseBackends())
        for (const ServerCase& c : cases)
            if (backend != "jack" || c.server != Server::plays_on_the_other_sink) rows.emplace_back(backend, c);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Backends, QuorvelServer, testing::ValuesIn(server_rows()),
    [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param).name; });

}  // namespace

// ---- tools/run.sh, with the release's sound server running and without ----
#ifdef RUN_SH
namespace {

bool has_sound_card() {
    const std::string cards = read_file("/proc/asound/cards");
    return !cards.empty() && cards.find("no soundcards") == std::string::npos;
}

// run.sh (set-up and build included: a no-op in this finished tree) with
// keys on a pipe: through a running server the sound reaches the default
// sink's monitor and no WAV file is written; without one it is in the file.
// The two ways share run.sh's WAV file and its build, so they run in turn.
void run_sh(bool withServer, const std::string& backend = "") {
    SCOPED_TRACE(withServer ? "with a server running " + backend : "without a server");
    SoundServer server(backend);
    ASSERT_TRUE(server.ready()) << server.problem();
    TemporaryFile stderrFile("stderr.txt");
    TemporaryFile script("run", std::string("#!/bin/sh\nexec ") + RUN_SH + " 2>" + stderrFile.path() + "\n");
    fs::permissions(script.path(), fs::perms::owner_all);
    fs::remove(RUN_SH_OUTPUT);
    const std::string recorded = stderrFile.directory() + "/recorded.wav";
    Environment environment = server.environment("");  // run.sh picks no backend
    // Nor a configuration: ALSOFT_CONF would be the user's, which run.sh keeps.
    std::erase_if(environment, [](const auto& variable) { return variable.first == "ALSOFT_CONF"; });
    if (withServer)
        ASSERT_TRUE(server.startRecording(recorded)) << server.problem();
    else
        server.kill();
    TemporaryFolder emptyRuntime;
    if (!withServer)
        for (auto& [name, value] : environment)
            if (name == "XDG_RUNTIME_DIR") value = emptyRuntime.path().string();
    // OpenAL Soft's log names the backend and device it took, and the
    // server's list at the first dot where the stream plays: what a failure
    // needs to tell a lost sound from one sent to another sink.
    environment.emplace_back("ALSOFT_LOGLEVEL", "3");
    std::string streams;
    const ProgramRun r = run_program_with_input(script.path(), environment, "1x", 600, "", {},
                                                [&](const std::string& out) {
                                                    if (withServer && streams.empty() && out.ends_with('.'))
                                                        streams = server.streams();
                                                });
    server.stopRecording();
    const std::string said = stderrFile.read();
    ASSERT_EQ(r.exitCode, 0) << r.output << said;
    EXPECT_TRUE(r.output.starts_with("Quorvel Test Application\n")) << r.output;
    EXPECT_NE(r.output.find("\nOpened OpenAL Soft Device\nPlaying Source ."), std::string::npos) << r.output;
    const std::string serverLine = std::string("Sound server ") +
                                   (server.name() == "pipewire" ? "PipeWire"
                                    : server.name() == "jack"   ? "JACK"
                                                                : "PulseAudio") +
                                   " is running: the sound plays through it\n";
    const std::string fileLine = std::string("the sound goes to ") + RUN_SH_OUTPUT + "\n";
    EXPECT_EQ(said.find(serverLine) != std::string::npos, withServer) << said;
    EXPECT_EQ(said.find(fileLine) != std::string::npos, !withServer) << said;
    EXPECT_EQ(fs::exists(RUN_SH_OUTPUT), !withServer);
    SCOPED_TRACE("run.sh's standard error:\n" + said + "\nthe server's streams at the first dot:\n" + streams);
    expect_heard_as_the_file(withServer ? recorded : RUN_SH_OUTPUT);
}

TEST(ToolsRun, PlaysThroughARunningServerElseIntoAWavFile) {
    run_sh(true);
    run_sh(true, "jack");
    if (has_sound_card()) GTEST_SKIP() << "this machine has a sound card: no WAV file without a server";
    run_sh(false);
}

// A sound card and no sound server: run.sh leaves OpenAL Soft to play on the
// card. The card is listed as the kernel lists one, a line in a procfs file of
// size 0: in mount and UTS namespaces of their own, a second procfs's domain
// name, bound onto asound/cards of a tmpfs over /proc.
TEST(ToolsRun, LeavesASoundCardToOpenALWithoutAServer) {
    if (::geteuid() != 0) GTEST_SKIP() << "the namespaces that list a sound card take root";
    TemporaryFolder folder;
    const std::string proc = folder.file("proc"), said = folder.file("said"), name = proc + "/sys/kernel/domainname";
    fs::create_directory(proc);
    const std::string withACard = "mount -t proc proc " + proc +
                                  " && echo ' 0 [PCH            ]: HDA-Intel - HDA Intel PCH' >" + name +
                                  " && mount -t tmpfs tmpfs /proc && mkdir /proc/asound && :>/proc/asound/cards" +
                                  " && mount --bind " + name + " /proc/asound/cards && exec " RUN_SH " 2>" + said;
    // No server to find (an empty runtime folder, a JACK server by another
    // name), and nothing set for OpenAL Soft.
    const Environment environment{{"XDG_RUNTIME_DIR", folder.path()},
                                  {"JACK_DEFAULT_SERVER", "none"},
                                  {"ALSOFT_DRIVERS", ""},
                                  {"ALSOFT_CONF", ""}};
    const ProgramRun r = run_program_with_input("/usr/bin/unshare", environment, "1x", 600, "",
                                                {"-m", "-u", "/bin/sh", "-c", withACard});
    const std::string told = read_file(said);
    EXPECT_EQ(r.exitCode, 0) << r.output << told;
    EXPECT_NE(told.find("No sound server here, but a sound card (HDA-Intel - HDA Intel PCH): "
                        "OpenAL Soft plays on it through ALSA\n"),
              std::string::npos)
        << told;
    // Not the file (the other ToolsRun row writes RUN_SH_OUTPUT meanwhile).
    EXPECT_EQ(told.find("the sound goes to"), std::string::npos) << told;
}

}  // namespace
#endif
