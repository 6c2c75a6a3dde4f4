// The AL calls: the error state, buffers and sources.

#include <AL/al.h>
#include <AL/alext.h>

#include <fcntl.h>
#include <unistd.h>

#include <string_view>
#include <thread>

#include "fakeal_state.hpp"
#include "fakeal_text.hpp"

using namespace fakeal;

namespace {

// The buffer formats the programs ask alGetEnumValue for, with the bytes
// of one sample frame that alBufferData takes.
struct Format {
    const char* name;
    ALenum value;
    int frameBytes;
};

#define FAKEAL_FORMAT(x, bytes) {#x, x, bytes}
const Format kFormats[] = {
    FAKEAL_FORMAT(AL_FORMAT_MONO8, 1),   FAKEAL_FORMAT(AL_FORMAT_MONO16, 2),
    FAKEAL_FORMAT(AL_FORMAT_STEREO8, 2), FAKEAL_FORMAT(AL_FORMAT_STEREO16, 4),
    FAKEAL_FORMAT(AL_FORMAT_QUAD16, 8),  FAKEAL_FORMAT(AL_FORMAT_REAR16, 4),
    FAKEAL_FORMAT(AL_FORMAT_51CHN16, 12), FAKEAL_FORMAT(AL_FORMAT_61CHN16, 14),
    FAKEAL_FORMAT(AL_FORMAT_71CHN16, 16),
};
#undef FAKEAL_FORMAT

// The source of that name, or nullptr with AL_INVALID_NAME left.
Source* knownSource(State& st, ALuint name)
{
    const auto it = st.sources.find(name);
    if (it != st.sources.end()) return &it->second;
    alError(st, AL_INVALID_NAME);
    return nullptr;
}

}  // namespace

extern "C" {

ALenum alGetError(void)
{
    auto [lock, st] = enter();
    if (st.current == nullptr) {
        finish(st, "alGetError", "alGetError() -> " + hexNumber(AL_INVALID_OPERATION) + " [no context]");
        return AL_INVALID_OPERATION;
    }
    const ALenum result = st.current->error;
    st.current->error = AL_NO_ERROR;
    finish(st, "alGetError", "alGetError() -> " + hexNumber(result));
    return result;
}

// The buffer formats only (unless the scenario hides one).
ALenum alGetEnumValue(const ALchar* ename)
{
    auto [lock, st] = enter();
    const std::string head = call("alGetEnumValue", {quoted(ename)});
    const Format* format = byName(kFormats, ename);
    if (format == nullptr) {
        unexpected(head);
        return 0;
    }
    const ALenum result = st.sc.unknownEnum.count(ename) == 0 ? format->value : 0;
    finish(st, "alGetEnumValue", head + " -> " + hexNumber(result));
    return result;
}

void alGenBuffers(ALsizei n, ALuint* buffers)
{
    auto [lock, st] = enter();
    genNames(st, "alGenBuffers", n, buffers, st.nextBuffer, AL_NO_ERROR,
             [&](ALuint name) { st.buffers[name] = Buffer{}; });
}

void alBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size, ALsizei freq)
{
    auto [lock, st] = enter();
    std::string line = call("alBufferData", {dec(buffer), hexNumber(format), "size=" + dec(size),
                                             "freq=" + dec(freq)});
    if (data == nullptr) line.insert(line.size() - 1, ", data=NULL");
    if (noContext(st, "alBufferData", line)) return;

    // The bytes are kept whatever the outcome, so a test sees what was sent.
    if (!st.dataDir.empty() && data != nullptr && size >= 0) {
        const std::string path = st.dataDir + "/buffer-data-" + dec(++st.bufferDataFiles) + ".bin";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) fatal("cannot write " + path);
        writeAll(fd, std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size)));
        ::close(fd);
    }

    const auto it = st.buffers.find(buffer);
    int frame = 0;
    for (const Format& f : kFormats)
        if (f.value == format) frame = f.frameBytes;
    bool inUse = false;
    for (const auto& [name, src] : st.sources)
        if (src.buffer == buffer) inUse = true;
    if (it == st.buffers.end()) {
        alError(st, AL_INVALID_NAME);
    } else if (frame == 0) {
        alError(st, AL_INVALID_ENUM);
    } else if (size < 0 || freq < 1 || size % frame != 0) {
        alError(st, AL_INVALID_VALUE);
    } else if (inUse) {
        alError(st, AL_INVALID_OPERATION);
    } else if (!st.sc.bufferDataOk) {
        alError(st, AL_INVALID_VALUE);
    } else {
        it->second.size = size;
        it->second.hasData = size > 0;
    }
    finish(st, "alBufferData", line);
}

void alDeleteBuffers(ALsizei n, const ALuint* buffers)
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteBuffers", n, buffers, st.buffers, true, [&](ALuint name) {
        for (const auto& [id, src] : st.sources)
            if (src.buffer == name) return true;
        return false;
    });
}

void alGenSources(ALsizei n, ALuint* sources)
{
    auto [lock, st] = enter();
    genNames(st, "alGenSources", n, sources, st.nextSource, AL_NO_ERROR,
             [&](ALuint name) { st.sources[name] = Source{}; });
}

void alSourcei(ALuint source, ALenum param, ALint value)
{
    auto [lock, st] = enter();
    const std::string line = call("alSourcei", {dec(source), hexNumber(param), dec(value)});
    if (param != AL_BUFFER) return unexpected(line);  // AL_BUFFER only
    if (noContext(st, "alSourcei", line)) return;
    if (Source* src = knownSource(st, source)) {
        if (src->state == AL_PLAYING || src->state == AL_PAUSED)
            alError(st, AL_INVALID_OPERATION);
        else if (value != 0 && st.buffers.count(static_cast<ALuint>(value)) == 0)
            alError(st, AL_INVALID_VALUE);
        else
            src->buffer = static_cast<ALuint>(value);
    }
    finish(st, "alSourcei", line);
}

void alSourcePlay(ALuint source)
{
    auto [lock, st] = enter();
    const std::string line = call("alSourcePlay", {dec(source)});
    if (noContext(st, "alSourcePlay", line)) return;
    if (Source* found = knownSource(st, source)) {
        Source& src = *found;
        const auto buf = st.buffers.find(src.buffer);
        // A source with nothing to play stops at once, as in a real mixer.
        if (buf == st.buffers.end() || !buf->second.hasData) {
            src.state = AL_STOPPED;
        } else {
            src.state = AL_PLAYING;
            src.playingPollsLeft = st.sc.playingPolls;
            src.playingUntil =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(st.sc.playingMs.value_or(0));
        }
    }
    finish(st, "alSourcePlay", line);
}

void alGetSourcei(ALuint source, ALenum param, ALint* value)
{
    auto [lock, st] = enter();
    const std::string head = call("alGetSourcei", {dec(source), hexNumber(param)});
    if (param != AL_SOURCE_STATE && param != AL_SAMPLE_OFFSET) return unexpected(head);
    if (noContext(st, "alGetSourcei", head)) return;
    if (param == AL_SAMPLE_OFFSET) {
        const auto it = st.sources.find(source);
        if (it == st.sources.end() || value == nullptr) return unexpected(head);
        if (it->second.state == AL_PLAYING && st.sc.offsetMoves) ++it->second.offset;
        *value = it->second.offset;
        return finish(st, "alGetSourcei", head + " -> " + dec(*value));
    }
    std::string shown = "stored nothing";
    Source* found = knownSource(st, source);
    if (found != nullptr && value == nullptr) {
        alError(st, AL_INVALID_VALUE);
    } else if (found != nullptr) {
        // A slow implementation: the answer is found only after the wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(st.sc.stateDelayMs));
        Source& src = *found;
        if (src.state == AL_PLAYING) {
            if (st.sc.playingMs) {
                if (std::chrono::steady_clock::now() >= src.playingUntil) src.state = AL_STOPPED;
            } else if (src.playingPollsLeft > 0) {
                --src.playingPollsLeft;
            } else {
                src.state = AL_STOPPED;
            }
        }
        *value = src.state;
        shown = hexNumber(*value);
    }
    finish(st, "alGetSourcei", head + " -> " + shown);
}

void alSourceStop(ALuint source)
{
    auto [lock, st] = enter();
    const std::string line = call("alSourceStop", {dec(source)});
    if (noContext(st, "alSourceStop", line)) return;
    if (Source* src = knownSource(st, source)) src->state = AL_STOPPED;
    finish(st, "alSourceStop", line);
}

void alDeleteSources(ALsizei n, const ALuint* sources)
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteSources", n, sources, st.sources, false, [](ALuint) { return false; });
}

}  // extern "C"
