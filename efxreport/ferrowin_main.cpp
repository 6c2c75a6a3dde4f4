// ferrowin: reports the OpenAL EFX capabilities of a chosen device.

#include "device/program_frame.hpp"
#include "efxreport/efx_report.hpp"

int main() {
    const ProgramDescription ferrowin{
        .banner = "Ferrowin Application",
        .constant_setup = nullptr,
        .job = efx_report_job,
        .close_files = nullptr,
    };
    run_program(ferrowin);
}
