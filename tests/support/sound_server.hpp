#pragma once
// A real sound server for the tests that play through one, private to the
// test: its own XDG_RUNTIME_DIR, HOME and configuration folder, two null
// sinks (the second the default) and no sound card. The release decides
// which server: PulseAudio where OpenAL Soft has no PipeWire backend (before
// 1.22, Debian 12), PipeWire with WirePlumber (and pipewire-pulse when
// installed) after; on every release JACK too, for the jack backend (a
// server of its own name).
// Everything it starts is ended by its process id when the object goes, and
// also when the test process dies (a parent-death signal).

#include <sys/types.h>

#include <string>
#include <vector>

#include "program_run.hpp"

class SoundServer {
public:
    // Starts the server that backend reaches (JACK for "jack", else the
    // release's) and waits until it answers; ready() tells whether it did,
    // and problem() why not (a missing binary is named there).
    explicit SoundServer(const std::string& backend = "");
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // A server whose pulse layer (pipewire-pulse) did not come up is ready
    // for the pipewire backend only.
    bool ready(const std::string& backend = "") const {
        return problem_.empty() && (backend != "pulse" || name_ != "pipewire" || pulseClients_);
    }
    const std::string& problem() const { return problem_.empty() ? pulseProblem_ : problem_; }
    // The backends of the release's server: the rows of the server tests.
    static std::vector<std::string> releaseBackends();
    // "pulseaudio", "pipewire" or "jack".
    const std::string& name() const { return name_; }
    // The OpenAL Soft backends that reach this server ("pulse"; "pipewire",
    // and "pulse" too when pipewire-pulse runs; "jack").
    std::vector<std::string> backends() const;
    // What a client needs to reach the server, with ALSOFT_DRIVERS=backend
    // (none when backend is empty) and the library's configuration kept to
    // its defaults (with JACK, but for a larger buffer).
    Environment environment(const std::string& backend) const;
    // Empty when the installation's OpenAL Soft loads the client library of
    // backend, else the line in which it says that it cannot (a release may
    // ship a sound-server client library that OpenAL Soft fails to load, and
    // then it cannot play through that backend at all).
    std::string unloadable(const std::string& backend) const;
    const std::string& runtimeDirectory() const { return runtime_; }
    // The null sink that is not the default, by the name a client gives it.
    std::string otherSink() const { return name_ == "pipewire" ? "s1" : "a"; }

    // Records a sink's monitor (the default sink's when sink is empty; with
    // JACK, what its playback ports are given) into a WAV file until
    // stopRecording, which ends every recording.
    bool startRecording(const std::string& wavPath, const std::string& sink = "");
    void stopRecording();
    // The server's streams and the sinks or ports they play to, as its own
    // tool lists them: for a failure's message.
    std::string streams() const;
    // Kills every server process (SIGKILL), leaving its sockets behind.
    void kill();

private:
    pid_t start(const std::vector<std::string>& argv, const std::string& log);
    bool answers(const std::vector<std::string>& argv, int timeoutMs);
    void end(int signal);
    void startPulseAudio();
    void startPipeWire();
    void startJack();

    TemporaryFile logFile_;  // the servers' output; its folder holds the runtime, home and configuration
    std::string runtime_, home_, config_, name_, problem_, jackName_, recording_;
    std::vector<pid_t> servers_;
    std::vector<pid_t> recorders_;
    bool pulseClients_ = false;
    std::string pulseProblem_;
};
