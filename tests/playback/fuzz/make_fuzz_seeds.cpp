// Writes the fuzzer's seed corpus: small WAV files of the shapes the reader
// meets, well-formed and damaged, one file each into the given directory.

#include <cstdio>
#include <string>

#include "wave_builder.hpp"

using namespace wavetest;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const Bytes samples = pattern(96);
    const Bytes fmt = fmt_body(1, 2, 44100, 16);
    const uint32_t wrongRiff = 0;
    const std::pair<const char*, Bytes> seeds[] = {
        {"canonical", canonical(2, 44100, samples)},
        {"mono8", riff({chunk("fmt ", fmt_body(1, 1, 8000, 8)), chunk("data", samples)})},
        {"ext51", riff({chunk("fmt ", fmt_body(0xFFFE, 6, 48000, 16, 0x3F, 40)), chunk("data", samples)})},
        {"ext61", riff({chunk("fmt ", fmt_body(0xFFFE, 7, 48000, 16, 0x13F, 40)), chunk("data", samples)})},
        {"list_between", riff({chunk("fmt ", fmt), chunk("LIST", pattern(30)), chunk("data", samples)})},
        {"data_first", riff({chunk("data", samples), chunk("fmt ", fmt)})},
        {"odd_chunk", riff({chunk("junk", pattern(5)), chunk("fmt ", fmt), chunk("data", samples)})},
        {"odd_chunk_padded", riff({chunk_declaring("junk", 5, Bytes{1, 2, 3, 4, 5, 0}), chunk("fmt ", fmt),
                                   chunk("data", samples)})},
        {"pcm24", riff({chunk("fmt ", fmt_body(1, 2, 44100, 24)), chunk("data", samples)})},
        {"cut_inside_a_frame", riff({chunk("fmt ", fmt), chunk_declaring("data", 5000, pattern(95))})},
        {"streamed", riff({chunk("fmt ", fmt), chunk_declaring("data", 0xFFFFFFFF, samples)})},
        {"short_data", riff({chunk("fmt ", fmt), chunk_declaring("data", 5000, samples)})},
        {"wrong_riff", riff({chunk("fmt ", fmt), chunk("data", samples)}, &wrongRiff)},
        {"wrapping", riff({chunk_declaring("LIST", 0xFFFFFFF8, {}), chunk("fmt ", fmt), chunk("data", samples)})},
    };
    for (const auto& [name, bytes] : seeds) {
        std::string path = std::string(argv[1]) + "/" + name + ".wav";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
