#include "sound_server.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The program's full path from PATH, or empty.
std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t at = 0; at <= dirs.size();) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return "";
}

// Starts argv with the extra environment, standard input from /dev/null and
// both outputs into log.
pid_t spawn(const std::vector<std::string>& argv, const Environment& environment, const std::string& log) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);  // keys and signals meant for the test stay with it
    const int in = ::open("/dev/null", O_RDONLY);
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::dup2(in, STDIN_FILENO);
    ::dup2(logFd, STDOUT_FILENO);
    ::dup2(logFd, STDERR_FILENO);
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

// Runs a client program to its end (killed after 5 s): its exit code (-1
// when killed) and its standard output.
ProgramRun client(const std::vector<std::string>& argv, const Environment& environment) {
    return run_program_with_input(find_program(argv[0]), environment, "", 5, "",
                                  std::vector<std::string>(argv.begin() + 1, argv.end()));
}

void end_process(pid_t pid, int signal) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// jack_rec, interrupted, leaves its WAV header's sizes at zero: they are
// set from the file's length (its 44-byte header, then the samples).
void complete_wav_sizes(const std::string& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
    const auto size = static_cast<uint32_t>(f.tellg());
    if (!f || size < 44) return;
    for (const auto& [at, value] : {std::pair{4, size - 8}, std::pair{40, size - 44}}) {
        const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
        f.seekp(at).write(bytes, 4);
    }
}

// What a killed client of a JACK server leaves in /dev/shm (a semaphore)
// bears the server's name.
void remove_jack_leftovers(const std::string& server) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/dev/shm", ignored))
        if (entry.path().filename().string().find("_" + server + "_") != std::string::npos)
            fs::remove(entry.path(), ignored);
}

const char* const kNullSinks =
    "context.objects = [\n"
    "  { factory = adapter args = { factory.name = support.null-audio-sink node.name = \"s1\"\n"
    "    node.description = \"Sink 1\" media.class = Audio/Sink audio.position = [ FL FR ] } }\n"
    "  { factory = adapter args = { factory.name = support.null-audio-sink node.name = \"s2\"\n"
    "    node.description = \"Sink 2\" media.class = Audio/Sink audio.position = [ FL FR ]\n"
    "    priority.session = 2000 } }\n"  // the default sink
    "]\n";

}  // namespace

SoundServer::SoundServer(const std::string& backend) : logFile_("server.log") {
    runtime_ = logFile_.directory() + "/run";
    home_ = logFile_.directory() + "/home";
    config_ = logFile_.directory() + "/config";
    for (const std::string& dir : {runtime_, home_, config_}) fs::create_directories(dir);
    ::chmod(runtime_.c_str(), 0700);
    // Private to the test, so that no other JACK server is ever reached.
    jackName_ = fs::path(logFile_.directory()).filename().string();
    name_ = backend == "jack" ? "jack" : SOUND_SERVER;
    if (name_ == "jack")
        startJack();
    else if (name_ == "pipewire")
        startPipeWire();
    else
        startPulseAudio();
    // A failure's message ends with what the servers said.
    for (std::string* problem : {&problem_, &pulseProblem_})
        if (!problem->empty()) {
            std::string log = logFile_.read();
            if (log.size() > 4000) log = "..." + log.substr(log.size() - 4000);
            *problem += "\nserver log:\n" + log;
        }
}

SoundServer::~SoundServer() {
    stopRecording();
    if (name_ != "jack") {
        kill();
        return;
    }
    // A killed jackd keeps its place in JACK's registry of servers (eight
    // places for the whole machine, its user's own servers included) and
    // leaves its socket behind, until a server of its name starts: one
    // does, and is ended as asked.
    if (servers_.empty()) startJack();
    end(SIGTERM);
    remove_jack_leftovers(jackName_);
}

std::vector<std::string> SoundServer::releaseBackends() {
    if (std::string(SOUND_SERVER) != "pipewire") return {"pulse", "jack"};
    if (find_program("pipewire-pulse").empty()) return {"pipewire", "jack"};
    return {"pipewire", "pulse", "jack"};
}

std::vector<std::string> SoundServer::backends() const {
    if (name_ == "jack") return {"jack"};
    if (name_ == "pipewire") return pulseClients_ ? std::vector<std::string>{"pipewire", "pulse"}
                                                  : std::vector<std::string>{"pipewire"};
    return {"pulse"};
}

Environment SoundServer::environment(const std::string& backend) const {
    Environment environment = {{"XDG_RUNTIME_DIR", runtime_}, {"HOME", home_},
                               {"XDG_CONFIG_HOME", config_}, {"XDG_CONFIG_DIRS", config_},
                               {"ALSOFT_CONF", name_ == "jack" ? config_ + "/alsoft.conf" : "/dev/null"},
                               {"JACK_DEFAULT_SERVER", jackName_},
                               {"JACK_NO_START_SERVER", "1"}, {"JACK_NO_AUDIO_RESERVATION", "1"}};
    if (!backend.empty()) environment.emplace_back("ALSOFT_DRIVERS", backend);
    // OpenAL Soft 1.19's jack backend allocates a buffer on a JACK thread
    // (the server's buffer-size call) and never frees it.
    if (backend == "jack") environment.emplace_back("ASAN_OPTIONS", "detect_leaks=0");
    return environment;
}

std::string SoundServer::unloadable(const std::string& backend) const {
    // Asked of OpenAL Soft itself, through its info tool and its log.
    Environment env = environment(backend);
    env.emplace_back("ALSOFT_LOGLEVEL", "2");
    const ProgramRun info = run_program_with_input("/bin/sh", env, "", 20, "",
                                                   {"-c", std::string("exec ") + OPENAL_INFO_PATH + " 2>&1"});
    const size_t at = info.output.find("Failed to load lib");
    if (at == std::string::npos) return "";
    return "OpenAL Soft cannot play through its " + backend + " backend here: " +
           info.output.substr(at, info.output.find('\n', at) - at);
}

pid_t SoundServer::start(const std::vector<std::string>& argv, const std::string& log) {
    if (find_program(argv[0]).empty()) {
        problem_ = argv[0] + " is not installed (tools/setup.sh installs it)";
        return -1;
    }
    const pid_t pid = spawn(argv, environment(""), log);
    servers_.push_back(pid);
    return pid;
}

// True once argv succeeds, tried every 10 ms until timeoutMs. The servers
// answer within 25-140 ms on a quiet machine; the callers give them 10 s,
// for a machine at a load of 30 and the sanitizer build.
bool SoundServer::answers(const std::vector<std::string>& argv, int timeoutMs) {
    if (find_program(argv[0]).empty()) {
        problem_ = argv[0] + " is not installed (tools/setup.sh installs it)";
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (client(argv, environment("")).exitCode == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    problem_ = "the server did not answer " + argv[0] + " within " + std::to_string(timeoutMs) + " ms";
    return false;
}

void SoundServer::startPulseAudio() {
    if (start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--log-target=stderr",
               "-L", "module-native-protocol-unix",
               "-L", "module-null-sink sink_name=a sink_properties=device.description=Sink1",
               "-L", "module-null-sink sink_name=b sink_properties=device.description=Sink2"},
              logFile_.path()) < 0)
        return;
    if (!answers({"pactl", "info"}, 10000)) return;
    if (client({"pactl", "set-default-sink", "b"}, environment("")).exitCode != 0) {
        problem_ = "pactl set-default-sink b failed";
        return;
    }
    // An idle null sink mixes in 2 s blocks, so a new stream would start
    // late; a silent low-latency stream keeps each running at a short period.
    for (const std::string sink : {"a", "b"})
        if (start({"pacat", "--latency-msec=10", "--device=" + sink, "--raw", "/dev/zero"}, logFile_.path()) < 0)
            return;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    auto quick = [](const std::string& sinks, const std::string& sink) {
        const size_t at = sinks.find("Latency: ", std::min(sinks.find("Name: " + sink + "\n"), sinks.size()));
        return at != std::string::npos && std::atol(sinks.c_str() + at + 9) < 50000;
    };
    do {
        const std::string sinks = client({"pactl", "list", "sinks"}, environment("")).output;
        if (quick(sinks, "a") && quick(sinks, "b")) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < deadline);
    problem_ = "the null sinks did not reach a latency under 50 ms";
}

void SoundServer::startPipeWire() {
    fs::create_directories(config_ + "/pipewire/pipewire.conf.d");
    std::ofstream(config_ + "/pipewire/pipewire.conf.d/50-null-sinks.conf") << kNullSinks;
    if (start({"pipewire"}, logFile_.path()) < 0) return;
    if (!answers({"pw-cli", "info", "0"}, 10000)) return;
    if (start({"wireplumber"}, logFile_.path()) < 0) return;
    // WirePlumber has linked the graph once it has picked a default sink.
    if (!answers({"wpctl", "inspect", "@DEFAULT_AUDIO_SINK@"}, 10000)) return;
    if (find_program("pipewire-pulse").empty() || find_program("pactl").empty()) return;
    // pipewire-pulse makes its runtime folder when it finds none, and exits
    // when that folder appears in between: pactl, polling below, makes it
    // too (3 % of starts while pactl polled every 10 ms, Debian 13).
    fs::create_directory(runtime_ + "/pulse");
    ::chmod((runtime_ + "/pulse").c_str(), 0700);
    if (start({"pipewire-pulse"}, logFile_.path()) < 0) return;
    pulseClients_ = answers({"pactl", "info"}, 10000);
    // The pulse layer serves only the pulse rows: the others go on without it.
    if (!pulseClients_) pulseProblem_ = std::exchange(problem_, "");
}

// No realtime scheduling asked for, no D-Bus (jackd, not jackdbus, and no
// device reservation). The dummy driver keeps time without a card; its own
// ports are left out, so that the only playback ports are the loopback's,
// which give back on their capture side what they were given: the
// recorder listens there before any client plays. On a busy machine a
// client can be late: in synchronous mode the cycle waits for it instead
// of going on without its samples (the recorder's or the player's).
void SoundServer::startJack() {
    // OpenAL Soft mixes two JACK periods (46 ms) ahead by default, also too
    // little there: what is not mixed in time is played as silence. Much
    // more would be lost at the end, since the programs close the device
    // once the source has stopped, and what is mixed ahead then is not heard.
    std::ofstream(config_ + "/alsoft.conf") << "[jack]\nbuffer-size = 4096\n";
    if (start({"jackd", "--no-realtime", "--sync", "-n", jackName_, "-L", "2", "-d", "dummy", "-r", "44100",
               "-p", "1024", "-P", "0", "-C", "0"},
              logFile_.path()) < 0)
        return;
    answers({"jack_lsp"}, 10000);
}

bool SoundServer::startRecording(const std::string& wavPath, const std::string& sink) {
    std::vector<std::string> argv;
    if (name_ == "jack")
        argv = {"jack_rec", "-f", wavPath, "-d", "600", "-b", "16", "-B", "262144", "loopback:capture_1",
                "loopback:capture_2"};
    else if (name_ == "pipewire")
        argv = {"pw-record", "--target=" + (sink.empty() ? "auto" : sink), "-P", "{ stream.capture.sink = true }", "--rate", "44100", "--channels", "2",
                "--format", "s16", wavPath};
    else
        argv = {"parecord", "--device=" + (sink.empty() ? "@DEFAULT_MONITOR@" : sink + ".monitor"),
                "--file-format=wav", "--format=s16le", "--rate=44100", "--channels=2", wavPath};
    if (find_program(argv[0]).empty()) {
        problem_ = argv[0] + " is not installed (tools/setup.sh installs it)";
        return false;
    }
    recorders_.push_back(spawn(argv, environment(""), logFile_.path()));
    if (name_ == "jack") recording_ = wavPath;
    // Recording once the file holds more than its header.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    do {
        std::error_code ignored;
        if (fs::file_size(wavPath, ignored) > 8192 && !ignored) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    problem_ = argv[0] + " recorded nothing within 5 s";
    return false;
}

void SoundServer::stopRecording() {
    for (pid_t recorder : recorders_) end_process(recorder, SIGINT);  // each completes its file's header
    recorders_.clear();
    if (name_ == "jack") complete_wav_sizes(std::exchange(recording_, ""));
}

std::string SoundServer::streams() const {
    if (name_ == "jack") return client({"jack_lsp", "-c"}, environment("")).output;
    if (name_ == "pipewire") return client({"wpctl", "status"}, environment("")).output;
    return client({"pactl", "list", "short", "sinks"}, environment("")).output +
           client({"pactl", "list", "short", "sink-inputs"}, environment("")).output;
}

void SoundServer::kill() { end(SIGKILL); }

void SoundServer::end(int signal) {
    for (auto it = servers_.rbegin(); it != servers_.rend(); ++it) end_process(*it, signal);
    servers_.clear();
}
