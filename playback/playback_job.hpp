#pragma once
// The job of quorvel: load the WAV file into one buffer, play it once on one
// source, print a dot every 100 ms while the source plays, delete both.

// The name of the file to play, inside the media directory. Set once by the
// constant set-up before the console opens.
extern const char* waveFileName;

// Sets waveFileName to "Footsteps.wav".
void set_playback_constants();
// Runs with the chosen device's context current.
void playback_job();
// Closes the WAV file if the reader still holds it; async-signal-safe.
void close_playback_files();
