#include "device/program_frame.hpp"

namespace {
void report_job() {}
}  // namespace

int main() {
    run_program({"Ferrowin Application", nullptr, report_job, nullptr});
}
