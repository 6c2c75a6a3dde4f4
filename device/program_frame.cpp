#include "device/program_frame.hpp"

#include <cstdlib>

#include "console/console.hpp"
#include "console/standard_streams.hpp"
#include "device/device_phase.hpp"
#include "device/working_heap.hpp"

namespace {

constexpr std::size_t kInitialHeapSize = 4000;

void (*closeProgramFiles)() = nullptr;

// Closes what the program still holds open and releases the device list's
// store. Runs from the final steps and from the close handler, so it stays
// async-signal-safe.
void end_routine() {
    if (closeProgramFiles != nullptr) closeProgramFiles();
    release_device_list_store();
}

[[noreturn]] void final_steps() {
    end_routine();
    destroy_working_heap();
    std::exit(0);
}

[[noreturn]] void final_wait() {
    print_line("");
    print("Press any key to exit");
    single_key_choice();
    close_console();
    final_steps();
}

[[noreturn]] void silent_exit() {
    close_console();
    final_steps();
}

}  // namespace

void run_program(const ProgramDescription& program) {
    open_missing_standard_streams();
    clear_device_state();
    closeProgramFiles = program.close_files;
    create_working_heap(kInitialHeapSize);
    build_device_list();
    if (program.constant_setup != nullptr) program.constant_setup();
    set_end_routine(end_routine);
    open_console();
    print_line(program.banner);
    if (device_phase(program.job) == Ending::final_wait) final_wait();
    silent_exit();
}
