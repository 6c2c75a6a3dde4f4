#include "efxreport/efx_report.hpp"

#include <cstdint>
#include <cstdio>

#include "console/console.hpp"
#include "device/device_phase.hpp"
#include "efxreport/efx_probes.hpp"

namespace {

// "s" after every count but exactly 1 (taken as signed, so 0 gets it too).
bool plural(int32_t count) { return count == 0 || count > 1; }

// Prints the count in unsigned decimal followed by noun, then the plural
// "s" when due; the line stays open.
void print_count(int32_t count, const char* noun) {
    char text[64];
    std::snprintf(text, sizeof text, "%lu%s",
                  static_cast<unsigned long>(static_cast<uint32_t>(count)), noun);
    print(text);
    if (plural(count)) print("s");
}

bool efx_supported() {
    return alcIsExtensionPresent(deviceHandle, "ALC_EXT_EFX") != ALC_FALSE && efx.all_bound();
}

void print_slot_line(int slots) {
    print_count(slots, " Auxiliary Effect Slot");
    print_line("");
}

void print_send_line(ALCint sends) {
    print_count(sends, " Auxiliary Send");
    print_line(" per Source");
}

void print_section(const char* header, std::span<const TypeRow> rows, ALenum parameter) {
    print_line("");
    print_line(header);
    for (const TypeRow& row : rows) type_probe(row.nameField, parameter, row.value);
}

void effect_section() {
    if (!create_probe_effect()) return;
    if (bind_probe_setter("alEffecti")) {
        print_section("Effects Supported: -", effectTypeTable, AL_EFFECT_TYPE);
    }
    delete_probe_effect();
}

void filter_section() {
    if (!create_probe_filter()) return;
    if (bind_probe_setter("alFilteri")) {
        print_section("Filters Supported: -", filterTypeTable, AL_FILTER_TYPE);
    }
    delete_probe_filter();
}

}  // namespace

void efx_report_job() {
    bind_efx_entry_points();
    if (!efx_supported()) {
        print_line("-ERR: EFX not supported");
        return;
    }
    print_slot_line(count_auxiliary_effect_slots());
    delete_counted_slots();
    print_send_line(read_send_count(deviceHandle));
    effect_section();
    filter_section();
}
