// The WAV reader against the stand-in OpenAL: what the walk accepts, and
// exactly what reaches alBufferData (format, frequency, size, bytes).

#include <AL/al.h>
#include <AL/alext.h>
#include <gtest/gtest.h>

#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "fake_al_session.hpp"
#include "playback/wave_reader.hpp"
#include "wave_builder.hpp"

using namespace wavetest;

namespace {

constexpr uint32_t kRate = 22050;

// Opens, uploads everything with frame count 0, closes; returns the upload
// result, or -1 when the open failed.
struct LoadResult {
    int opened = 0;
    int64_t dataPosition = -1;  // file position right after a successful open
    int32_t uploaded = -1;
    bool uploadFailed = false;
    std::vector<Upload> uploads;
    int formatLookups = 0;  // alGetEnumValue calls
};

LoadResult load(const Bytes& file, const std::vector<std::string>& scenario = {}) {
    FakeAlSession fake(scenario);
    TemporaryFolder dir;
    LoadResult r;
    r.opened = OpenWaveFile(dir.write("in.wav", file).c_str());
    if (r.opened) {
        r.dataPosition = waveFile->tell();
        r.uploaded = ReadWaveIntoBuffer(fake.buffer(), 0);
        r.uploadFailed = waveUploadFailed;
        CloseWaveFile();
    }
    EXPECT_FALSE(waveFile) << "the reader must not keep a file";
    r.uploads = fake.uploads();
    for (const std::string& line : fake.logLines()) r.formatLookups += line.rfind("alGetEnumValue(", 0) == 0;
    return r;
}

// ---- the format table ----

struct FormatCase {
    const char* name;
    uint16_t tag, channels, bits;
    uint32_t mask;
    size_t fmtSize;
    ALenum format;  // 0: the file has no row and must not load
    int32_t frameSize;
    uint8_t subFormat = 1;  // first byte of an extensible sub-format GUID: 1 PCM, 6 A-law, 7 mu-law
};

const FormatCase kFormatCases[] = {
    {"pcm_mono16", 1, 1, 16, 0, 16, AL_FORMAT_MONO16, 2},
    {"pcm_mono8", 1, 1, 8, 0, 16, AL_FORMAT_MONO8, 1},
    {"pcm_mono24_has_no_row", 1, 1, 24, 0, 16, 0, 0},
    {"pcm_stereo16", 1, 2, 16, 0, 16, AL_FORMAT_STEREO16, 4},
    {"pcm_stereo8", 1, 2, 8, 0, 16, AL_FORMAT_STEREO8, 2},
    {"pcm_stereo24_has_no_row", 1, 2, 24, 0, 16, 0, 0},
    {"pcm_quad16", 1, 4, 16, 0, 16, AL_FORMAT_QUAD16, 8},
    {"pcm_fmt18", 1, 2, 16, 0, 18, AL_FORMAT_STEREO16, 4},
    {"pcm_mask_ignored", 1, 2, 16, 0x33, 40, AL_FORMAT_STEREO16, 4},
    {"ext_mono16", 0xFFFE, 1, 16, 0x4, 40, AL_FORMAT_MONO16, 2},
    {"ext_mono8", 0xFFFE, 1, 8, 0x4, 40, AL_FORMAT_MONO8, 1},
    {"ext_stereo16", 0xFFFE, 2, 16, 0x3, 40, AL_FORMAT_STEREO16, 4},
    {"ext_stereo8", 0xFFFE, 2, 8, 0x3, 40, AL_FORMAT_STEREO8, 2},
    {"ext_rear16", 0xFFFE, 2, 16, 0x30, 40, AL_FORMAT_REAR16, 4},
    {"ext_quad16", 0xFFFE, 4, 16, 0x33, 40, AL_FORMAT_QUAD16, 8},
    {"ext_51", 0xFFFE, 6, 16, 0x3F, 40, AL_FORMAT_51CHN16, 12},
    {"ext_61", 0xFFFE, 7, 16, 0x13F, 40, AL_FORMAT_61CHN16, 14},
    {"ext_71", 0xFFFE, 8, 16, 0x63F, 40, AL_FORMAT_71CHN16, 16},
    // no row
    {"float_tag3", 3, 2, 32, 0, 16, 0, 0},
    {"tag0", 0, 2, 16, 0, 16, 0, 0},
    {"pcm_3ch", 1, 3, 16, 0, 16, 0, 0},
    {"pcm_quad8", 1, 4, 8, 0, 16, 0, 0},
    {"pcm_6ch", 1, 6, 16, 0, 16, 0, 0},
    {"ext_rear8", 0xFFFE, 2, 8, 0x30, 40, 0, 0},
    {"ext_stereo_mask33", 0xFFFE, 2, 16, 0x33, 40, 0, 0},
    {"ext_mono_mask1", 0xFFFE, 1, 16, 0x1, 40, 0, 0},
    {"ext_quad8", 0xFFFE, 4, 8, 0x33, 40, 0, 0},
    {"ext_51_8bit", 0xFFFE, 6, 8, 0x3F, 40, 0, 0},
    {"ext_71_mask_of_51", 0xFFFE, 8, 16, 0x3F, 40, 0, 0},
    {"ext_zero_channels", 0xFFFE, 0, 16, 0, 40, 0, 0},
    {"pcm_stereo32", 1, 2, 32, 0, 16, 0, 0},
    {"ext_stereo24", 0xFFFE, 2, 24, 0x3, 40, 0, 0},
    {"ext_mono32", 0xFFFE, 1, 32, 0x4, 40, 0, 0},
    {"ext_mulaw_mono8", 0xFFFE, 1, 8, 0x4, 40, 0, 0, 7},
    {"ext_alaw_stereo8", 0xFFFE, 2, 8, 0x3, 40, 0, 0, 6},
    {"ext_fmt24_holds_no_sub_format", 0xFFFE, 2, 16, 0x3, 24, 0, 0},
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class FormatTable : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatTable, ChoosesRowAndUploadsBytesUnchanged) {
    const FormatCase& c = GetParam();
    Bytes samples = pattern(336);  // whole frames for every row
    Bytes file = riff({chunk("fmt ", fmt_body(c.tag, c.channels, kRate, c.bits, c.mask, c.fmtSize, c.subFormat)),
                       chunk("data", samples)});
    LoadResult r = load(file);
    if (c.format == 0) {
        EXPECT_EQ(r.opened, 0);
        EXPECT_TRUE(r.uploads.empty());
        EXPECT_EQ(r.formatLookups, 0) << "no row, so no format name to look up";
        return;
    }
    ASSERT_EQ(r.opened, 1);
    EXPECT_EQ(waveFormat, c.format);
    EXPECT_EQ(waveFrameSize, c.frameSize);
    EXPECT_EQ(r.dataPosition, 12 + 8 + int64_t(c.fmtSize) + 8);
    EXPECT_EQ(r.uploaded, int32_t(samples.size()));
    EXPECT_EQ(waveBytesLeft, 0);
    ASSERT_EQ(r.uploads.size(), 1u);
    EXPECT_EQ(r.uploads[0].format, unsigned(c.format));
    EXPECT_EQ(r.uploads[0].frequency, long(kRate));
    EXPECT_EQ(r.uploads[0].size, long(samples.size()));
    EXPECT_EQ(r.uploads[0].bytes, samples);
}

INSTANTIATE_TEST_SUITE_P(Rows, FormatTable, testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatTable, NameUnknownToOpenAlFailsTheLoad) {
    Bytes file = riff({chunk("fmt ", fmt_body(0xFFFE, 6, kRate, 16, 0x3F, 40)), chunk("data", pattern(24))});
    LoadResult r = load(file, {"unknown_enum = AL_FORMAT_51CHN16"});
    EXPECT_EQ(r.opened, 0);
    EXPECT_TRUE(r.uploads.empty());
}

// ---- the chunk walk and the upload ----

struct WalkCase {
    const char* name;
    Bytes file;
    int opened;
    int64_t dataPosition;  // where the open leaves the file
    std::optional<Bytes> uploaded;  // what reaches the one alBufferData call; nullopt: no call
};

const Bytes kSamples = pattern(64, 5);
const Bytes kFmt = fmt_body(1, 2, kRate, 16);
const uint32_t kZero = 0, kHuge = 0xFFFFFFFF;

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes first(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + std::min(n, b.size())); }

std::vector<WalkCase> walk_cases() {
    return {
        {"canonical", canonical(2, kRate, kSamples), 1, 44, kSamples},
        {"list_between", riff({chunk("fmt ", kFmt), chunk("LIST", pattern(26)), chunk("data", kSamples)}), 1,
         78, kSamples},
        {"data_before_fmt", riff({chunk("data", kSamples), chunk("fmt ", kFmt)}), 1, 20, kSamples},
        {"last_data_before_fmt_wins",
         riff({chunk("data", pattern(8, 99)), chunk("data", kSamples), chunk("fmt ", kFmt)}), 1, 36, kSamples},
        {"odd_chunk_padded", riff({chunk_declaring("LIST", 3, concat(pattern(3), Bytes{0})), chunk("fmt ", kFmt),
                                   chunk("data", kSamples)}),
         1, 56, kSamples},
        {"odd_chunk_has_no_pad", riff({chunk("junk", pattern(3)), chunk("fmt ", kFmt), chunk("data", kSamples)}),
         1, 55, kSamples},
        {"riff_size_zero", riff({chunk("fmt ", kFmt), chunk("data", kSamples)}, &kZero), 1, 44, kSamples},
        {"riff_size_huge", riff({chunk("fmt ", kFmt), chunk("data", kSamples)}, &kHuge), 1, 44, kSamples},
        {"short_data_chunk", riff({chunk("fmt ", kFmt), chunk_declaring("data", 1000, kSamples)}), 1, 44,
         kSamples},
        {"streamed_size_ffffffff", riff({chunk("fmt ", kFmt), chunk_declaring("data", 0xFFFFFFFF, kSamples)}),
         1, 44, kSamples},
        {"data_size_2_pow_31", riff({chunk("fmt ", kFmt), chunk_declaring("data", 0x80000000, kSamples)}), 1,
         44, kSamples},
        {"cut_inside_a_frame", riff({chunk("fmt ", kFmt), chunk_declaring("data", 1000, first(kSamples, 63))}), 1,
         44, first(kSamples, 60)},
        {"data_longer_than_declared", riff({chunk("fmt ", kFmt), chunk_declaring("data", 12, kSamples)}), 1,
         44, first(kSamples, 12)},
        {"empty_data_chunk", riff({chunk("fmt ", kFmt), chunk("data", {})}), 1, 44, std::nullopt},
        // The size reads as 64 with the missing bytes as 0, but the file holds
        // no sample byte: the open succeeds and the upload hands over nothing.
        {"data_header_cut_short", concat(riff({chunk("fmt ", kFmt)}), Bytes{'d', 'a', 't', 'a', 64}), 1, 44,
         Bytes{}},
        {"only_riff_header", riff({}), 0, -1, {}},
        {"not_riff", [] {
             Bytes b = canonical(2, kRate, kSamples);
             b[3] = 'X';
             return b;
         }(),
         0, -1, {}},
        {"not_wave", [] {
             Bytes b = canonical(2, kRate, kSamples);
             b[8] = 'A';
             return b;
         }(),
         0, -1, {}},
        {"empty_file", {}, 0, -1, {}},
        {"no_data_chunk", riff({chunk("fmt ", kFmt), chunk("LIST", pattern(10))}), 0, -1, {}},
        {"no_fmt_chunk", riff({chunk("data", kSamples)}), 0, -1, {}},
        {"fmt_cut_short", first(riff({chunk("fmt ", fmt_body(1, 2, kRate, 16))}), 24), 0, -1, {}},
        {"bad_fmt_after_data_stops_at_once", riff({chunk("data", kSamples), chunk("fmt ", fmt_body(3, 2, kRate, 32)),
                                                    chunk("fmt ", kFmt)}),
         0, -1, {}},
        // Damaged sizes: the walk must end, and end with a failure.
        {"size_wraps_to_own_header", riff({chunk_declaring("LIST", 0xFFFFFFF8, {}), chunk("fmt ", kFmt),
                                           chunk("data", kSamples)}),
         0, -1, {}},
        {"size_wraps_backwards", riff({chunk("fmt ", kFmt), chunk_declaring("LIST", 0xFFFFFFE0, pattern(8)),
                                       chunk("data", kSamples)}),
         0, -1, {}},
        {"position_beyond_2_pow_31", riff({chunk_declaring("LIST", 0x7FFFFFF0, {}), chunk("fmt ", kFmt),
                                           chunk("data", kSamples)}),
         0, -1, {}},
        {"huge_data_before_fmt", riff({chunk_declaring("data", 0xFFFFFFFF, kSamples), chunk("fmt ", kFmt)}), 0,
         -1, {}},
        {"chunk_past_end", riff({chunk("fmt ", kFmt), chunk_declaring("LIST", 500, pattern(4)),
                                 chunk("data", kSamples)}),
         0, -1, {}},
    };
}

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

class ChunkWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(ChunkWalk, OpensAndUploadsWhatTheFileHolds) {
    const WalkCase& c = GetParam();
    LoadResult r = load(c.file);
    ASSERT_EQ(r.opened, c.opened);
    if (!c.opened) {
        EXPECT_TRUE(r.uploads.empty());
        return;
    }
    EXPECT_EQ(r.dataPosition, c.dataPosition);
    EXPECT_FALSE(r.uploadFailed);
    if (!c.uploaded) {
        EXPECT_EQ(r.uploaded, 0);
        EXPECT_TRUE(r.uploads.empty()) << "an empty data chunk calls no OpenAL";
        return;
    }
    EXPECT_EQ(r.uploaded, int32_t(c.uploaded->size()));
    ASSERT_EQ(r.uploads.size(), 1u);
    EXPECT_EQ(r.uploads[0].format, unsigned(AL_FORMAT_STEREO16));
    EXPECT_EQ(r.uploads[0].frequency, long(kRate));
    EXPECT_EQ(r.uploads[0].size, long(c.uploaded->size()));
    EXPECT_EQ(r.uploads[0].bytes, *c.uploaded);
}

INSTANTIATE_TEST_SUITE_P(Files, ChunkWalk, testing::ValuesIn(walk_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the upload step by step ----

class PieceByPieceUpload : public testing::Test {
protected:
    void open_memory(const Bytes& file) {
        file_ = file;
        ASSERT_EQ(OpenWaveStream(make_memory_wave_stream(file_.data(), int64_t(file_.size()))), 1);
    }
    void TearDown() override { CloseWaveFile(); }
    Bytes file_;
};

TEST_F(PieceByPieceUpload, PiecesFollowOnAndTheLastCallFindsNothingLeft) {
    FakeAlSession fake;
    open_memory(canonical(2, kRate, kSamples));
    EXPECT_EQ(ReadWaveIntoBuffer(fake.buffer(), 3), 12);
    EXPECT_EQ(waveBytesLeft, 52);
    EXPECT_EQ(ReadWaveIntoBuffer(fake.buffer(), 100), 52) << "a request beyond what is left is cut down";
    EXPECT_EQ(ReadWaveIntoBuffer(fake.buffer(), 0), 0);
    auto ups = fake.uploads();
    ASSERT_EQ(ups.size(), 2u) << "the call with nothing left must not reach OpenAL";
    EXPECT_EQ(ups[0].bytes, first(kSamples, 12));
    EXPECT_EQ(ups[1].bytes, Bytes(kSamples.begin() + 12, kSamples.end()));
}

TEST_F(PieceByPieceUpload, NegativeOrOverflowingRequestCallsNoOpenAl) {
    FakeAlSession fake;
    open_memory(canonical(2, kRate, kSamples));
    EXPECT_EQ(ReadWaveIntoBuffer(fake.buffer(), -1), 0);
    EXPECT_EQ(ReadWaveIntoBuffer(fake.buffer(), INT32_MIN), 0);
    EXPECT_EQ(waveBytesLeft, 64);
    EXPECT_EQ(waveFile->tell(), 44);
    EXPECT_TRUE(fake.uploads().empty());
}

struct ErrorCase {
    const char* name;
    const char* scenario;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class UploadError : public testing::TestWithParam<ErrorCase> {};

TEST_P(UploadError, CountsAsFailedButTheBytesWereHandedOver) {
    const ErrorCase& c = GetParam();
    FakeAlSession fake({c.scenario});
    Bytes file = canonical(2, kRate, kSamples);
    ASSERT_EQ(OpenWaveStream(make_memory_wave_stream(file.data(), int64_t(file.size()))), 1);
    EXPECT_EQ(ReadWaveIntoBuffer(fake.buffer(), 0), 0);
    EXPECT_TRUE(waveUploadFailed);
    EXPECT_EQ(waveBytesLeft, 64) << "a failed upload leaves the count as it was";
    EXPECT_EQ(waveFile->tell(), 44 + 64) << "though the file moved on";
    CloseWaveFile();
    auto ups = fake.uploads();
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].bytes, kSamples);
}

INSTANTIATE_TEST_SUITE_P(Errors, UploadError,
                         testing::Values(ErrorCase{"buffer_data_error", "buffer_data = error"},
                                         // The session's alGenBuffers leaves an error nobody reads.
                                         ErrorCase{"pending_error", "error_after = alGenBuffers"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- paths that are not WAV files at all ----

TEST(OpenPath, NonFilesFailCleanlyAndQuickly) {
    FakeAlSession fake;
    TemporaryFolder dir;
    std::string fifo = dir.file("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string paths[] = {dir.file("missing.wav"), dir.path().string(), fifo, "/dev/zero", ""};
    for (const std::string& p : paths) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(OpenWaveFile(p.c_str()), 0) << p;
        EXPECT_FALSE(waveFile) << p;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << p;
    }
    EXPECT_EQ(OpenWaveFile(nullptr), 0);
}

TEST(OpenPath, UnreadableFileFails) {
    TemporaryFolder dir;
    std::string p = dir.write("locked.wav", canonical(2, kRate, kSamples));
    ASSERT_EQ(chmod(p.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    // Root reads every file, so the open is tried as an ordinary user.
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        _exit(OpenWaveFile(p.c_str()) == 0 && !waveFile ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not become an ordinary user";
}

TEST(OpenPath, EndRoutineCloseReleasesTheDescriptor) {
    FakeAlSession fake;
    TemporaryFolder dir;
    std::string p = dir.write("ok.wav", canonical(2, kRate, kSamples));
    ASSERT_EQ(OpenWaveFile(p.c_str()), 1);
    int probe = dup(0);  // the lowest free descriptor before the close
    close(probe);
    close_open_wave_descriptor();
    int reused = dup(0);
    EXPECT_LT(reused, probe) << "closing must free the reader's descriptor";
    CloseWaveFile();
    EXPECT_NE(fcntl(reused, F_GETFD), -1) << "the reader closed a descriptor it no longer owns";
    close(reused);
}

}  // namespace
