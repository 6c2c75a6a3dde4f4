#include "device/program_frame.hpp"

namespace {
void playback_job() {}
}  // namespace

int main() {
    run_program({"Quorvel Test Application", nullptr, playback_job, nullptr});
}
