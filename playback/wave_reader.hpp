#pragma once
// The WAV reader: turns a RIFF/WAVE file into the contents of one OpenAL
// buffer. Used in a fixed order: OpenWaveFile, then ReadWaveIntoBuffer once
// or more, then CloseWaveFile. One file at a time; not for use from two
// threads. The reader prints nothing; it reports through its results.

#include <AL/al.h>

#include <cstdint>
#include <memory>

#include "playback/wave_stream.hpp"

// The reader's module record. waveFile is null when no file is open.
extern std::unique_ptr<WaveStream> waveFile;
extern ALenum waveFormat;     // OpenAL format code, 0 for none
extern int32_t waveFrameSize; // bytes per sample frame of waveFormat
extern int32_t waveFrequency; // sample rate in Hz
extern int32_t waveBytesLeft; // sample bytes not uploaded yet
// Set by each ReadWaveIntoBuffer call: true when it had data to hand over
// and could not (no memory for the block, or OpenAL refused the upload).
// Nothing left to upload, or a file that holds no more, is no failure.
extern bool waveUploadFailed;

// Opens the file at path and walks its chunks up to the sample data.
// Returns 1 with waveFile positioned at the first sample byte, else 0.
int OpenWaveFile(const char* path);
// The same walk over a stream that the caller supplies (tests, fuzzer).
int OpenWaveStream(std::unique_ptr<WaveStream> stream);
// Uploads frameCount frames (0: all that remain) into buffer with one
// alBufferData call; returns the bytes OpenAL accepted: 0 when none were
// handed over or alGetError reported an error right after the call. Only
// whole frames are handed over: a partial frame where the file ends is
// read, counted off waveBytesLeft and dropped.
int32_t ReadWaveIntoBuffer(ALuint buffer, int32_t frameCount);
// Closes waveFile if one is open; the other fields keep their values.
void CloseWaveFile();
