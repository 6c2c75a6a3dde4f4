// quorvel: plays Footsteps.wav from ../Media on a chosen OpenAL device.

#include "device/program_frame.hpp"
#include "playback/playback_job.hpp"

int main() {
    run_program(ProgramDescription{
        .banner = "Quorvel Test Application",
        .constant_setup = set_playback_constants,
        .job = playback_job,
        .close_files = close_playback_files,
    });
}
