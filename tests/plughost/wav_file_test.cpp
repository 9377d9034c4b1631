#include "tools/plughost/wav_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "test_files.h"
#include "tools/plughost/output_file.h"

namespace {

using plughost_test::put16;
using plughost_test::put32;
using plughost_test::readBytes;
using plughost_test::scratchDir;
using plughost_test::writeBytes;
using wav::SampleEncoding;
using namespace std::string_literals;

// A fmt chunk body of the plain 16-byte kind.
std::string fmtChunk(unsigned tag, unsigned channels, unsigned rate, unsigned bits) {
  std::string s = "fmt ";
  put32(s, 16);
  put16(s, tag);
  put16(s, channels);
  put32(s, rate);
  put32(s, rate * channels * bits / 8);
  put16(s, channels * bits / 8);
  put16(s, bits);
  return s;
}

std::string riff(const std::string& chunks) {
  std::string s = "RIFF";
  put32(s, static_cast<std::uint32_t>(4 + chunks.size()));
  return s + "WAVE" + chunks;
}

std::string dataChunk(const std::string& payload) {
  std::string s = "data";
  put32(s, static_cast<std::uint32_t>(payload.size()));
  return s + payload;
}

std::uint32_t bitsOf(float f) {
  return std::bit_cast<std::uint32_t>(f);
}

TEST(WavFile, FloatSamplesRoundTripBitForBit) {
  const float nan = std::bit_cast<float>(0x7FC01234u);  // a NaN with a payload
  const std::vector<float> samples = {0.0f, -0.0f,  1.0f,  -1.0f,
                                      0.1f, 1e-40f, -3.5f, std::numeric_limits<float>::infinity(),
                                      nan,  0.25f};
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    auto path = scratchDir() / "f.wav";
    wav::writeWavFile(path, {{SampleEncoding::float32, channels, 48000}, samples});
    wav::AudioData back = wav::readWavFile(path);
    EXPECT_EQ(back.format, (wav::StreamFormat{SampleEncoding::float32, channels, 48000}));
    ASSERT_EQ(back.samples.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      EXPECT_EQ(bitsOf(back.samples[i]), bitsOf(samples[i])) << "sample " << i;
    }
  }
}

// Float to PCM rounds to the nearest code and clamps; PCM to float is code / 2^(bits-1).
TEST(WavFile, PcmQuantisesClampsAndReadsBack) {
  struct Case {
    SampleEncoding encoding;
    float in;
    float out;
  };
  const Case cases[] = {
      {SampleEncoding::pcm16, 0.5f, 0.5f},
      {SampleEncoding::pcm16, 1.0f, 32767.0f / 32768.0f},
      {SampleEncoding::pcm16, 2.0f, 32767.0f / 32768.0f},
      {SampleEncoding::pcm16, -1.0f, -1.0f},
      {SampleEncoding::pcm16, -7.0f, -1.0f},
      {SampleEncoding::pcm16, 1.4f / 32768.0f, 1.0f / 32768.0f},
      {SampleEncoding::pcm16, 1.6f / 32768.0f, 2.0f / 32768.0f},
      {SampleEncoding::pcm16, std::numeric_limits<float>::quiet_NaN(), 0.0f},
      {SampleEncoding::pcm24, 0.5f, 0.5f},
      {SampleEncoding::pcm24, -1.0f, -1.0f},
      {SampleEncoding::pcm24, 1.0f, 8388607.0f / 8388608.0f},
      {SampleEncoding::pcm24, -3.0f / 8388608.0f, -3.0f / 8388608.0f},
      {SampleEncoding::pcm32, 0.25f, 0.25f},
      {SampleEncoding::pcm32, -1.0f, -1.0f},
      {SampleEncoding::pcm32, 1.0f, 1.0f},  // 2147483647 / 2^31 rounds to 1.0f
      {SampleEncoding::pcm32, std::numeric_limits<float>::infinity(), 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(wav::encodingName(c.encoding)) + " " + std::to_string(c.in));
    auto path = scratchDir() / "p.wav";
    wav::writeWavFile(path, {{c.encoding, 1, 44100}, {c.in}});
    wav::AudioData back = wav::readWavFile(path);
    ASSERT_EQ(back.samples.size(), 1u);
    EXPECT_EQ(back.samples[0], c.out);
  }
}

TEST(WavFile, PcmFileReadAndWrittenAgainIsUnchanged) {
  for (SampleEncoding encoding :
       {SampleEncoding::pcm16, SampleEncoding::pcm24, SampleEncoding::pcm32}) {
    auto dir = scratchDir();
    std::vector<float> samples;
    samples.reserve(1000);
    for (int i = 0; i < 1000; ++i) {
      samples.push_back(static_cast<float>(std::sin(i * 0.05) * 0.9));
    }
    wav::writeWavFile(dir / "a.wav", {{encoding, 2, 22050}, samples});
    wav::writeWavFile(dir / "b.wav", wav::readWavFile(dir / "a.wav"));
    EXPECT_EQ(readBytes(dir / "a.wav"), readBytes(dir / "b.wav")) << wav::encodingName(encoding);
  }
}

TEST(WavFile, WritesCanonicalHeaders) {
  auto dir = scratchDir();
  wav::writeWavFile(dir / "pcm.wav",
                    {{SampleEncoding::pcm16, 2, 44100}, {0.5f, -0.5f, 0.0f, 0.0f}});
  std::string expected =
      riff(fmtChunk(1, 2, 44100, 16) + dataChunk(std::string("\x00\x40\x00\xC0\0\0\0\0", 8)));
  EXPECT_EQ(readBytes(dir / "pcm.wav"), expected);

  // Float: an 18-byte fmt chunk and a fact chunk holding the frame count.
  wav::writeWavFile(dir / "float.wav", {{SampleEncoding::float32, 1, 8000}, {1.0f, 2.0f, 3.0f}});
  std::string bytes = readBytes(dir / "float.wav");
  ASSERT_EQ(bytes.size(), 12u + 26 + 12 + 8 + 12);
  EXPECT_EQ(bytes.substr(12, 8), std::string("fmt \x12\0\0\0", 8));
  EXPECT_EQ(bytes.substr(20, 2), std::string("\x03\x00", 2));
  EXPECT_EQ(bytes.substr(38, 12), std::string("fact\x04\0\0\0\x03\0\0\0", 12));
  EXPECT_EQ(bytes.substr(50, 8), std::string("data\x0C\0\0\0", 8));
}

TEST(WavFile, OddDataIsPaddedAndRiffSizeCountsThePad) {
  auto dir = scratchDir();
  wav::writeWavFile(dir / "odd.wav", {{SampleEncoding::pcm24, 1, 44100}, {0.1f}});
  std::string bytes = readBytes(dir / "odd.wav");
  ASSERT_EQ(bytes.size(), 44u + 4);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[4]), bytes.size() - 8);
  EXPECT_EQ(wav::readWavFile(dir / "odd.wav").samples.size(), 1u);
}

TEST(WavFile, ReaderSkipsOtherChunksAndReadsExtensibleFormat) {
  auto dir = scratchDir();
  // A LIST chunk of odd size (with its pad byte) before fmt, a junk chunk between fmt and data,
  // and an extensible fmt chunk naming 24-bit PCM.
  std::string ext = "fmt ";
  put32(ext, 40);
  put16(ext, 0xFFFE);
  put16(ext, 2);
  put32(ext, 96000);
  put32(ext, 96000 * 6);
  put16(ext, 6);
  put16(ext, 24);
  put16(ext, 22);
  put16(ext, 24);
  put32(ext, 3);
  ext += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
  std::string list = "LIST";
  put32(list, 3);
  list += "abc";
  list += '\0';
  std::string junk = "junk";
  put32(junk, 4);
  junk += "zzzz";
  // Frames: (0.5, -0.5) and (-1, 0).
  std::string payload("\x00\x00\x40\x00\x00\xC0\x00\x00\x80\x00\x00\x00", 12);
  writeBytes(dir / "ext.wav", riff(list + ext + junk + dataChunk(payload)));

  wav::WavReader reader(dir / "ext.wav");
  EXPECT_EQ(reader.format(), (wav::StreamFormat{SampleEncoding::pcm24, 2, 96000}));
  EXPECT_EQ(reader.frameCount(), 2u);
  float frames[4];
  EXPECT_EQ(reader.read(frames, 10), 2u);
  EXPECT_EQ(frames[0], 0.5f);
  EXPECT_EQ(frames[1], -0.5f);
  EXPECT_EQ(frames[2], -1.0f);
  EXPECT_EQ(frames[3], 0.0f);
  EXPECT_EQ(reader.read(frames, 10), 0u);
}

TEST(WavFile, ReadingInBlocksGivesTheWholeFile) {
  auto dir = scratchDir();
  std::vector<float> samples(std::size_t{2} * 10007);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<float>(i) / 32768.0f;
  }
  wav::writeWavFile(dir / "long.wav", {{SampleEncoding::float32, 2, 44100}, samples});
  wav::WavReader reader(dir / "long.wav");
  std::vector<float> back;
  std::vector<float> block(std::size_t{2} * 333);
  while (std::size_t n = reader.read(block.data(), 333)) {
    back.insert(back.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * n));
    EXPECT_EQ(reader.framesLeft(), reader.frameCount() - back.size() / 2);
  }
  EXPECT_EQ(back, samples);
}

TEST(WavFile, RejectsBadFilesNamingTheProblem) {
  const std::string pcm16Frame("\x01\x00\x02\x00", 4);
  std::string extensibleUnknown = "fmt ";
  put32(extensibleUnknown, 40);
  put16(extensibleUnknown, 0xFFFE);
  put16(extensibleUnknown, 1);
  put32(extensibleUnknown, 44100);
  put32(extensibleUnknown, 88200);
  put16(extensibleUnknown, 2);
  put16(extensibleUnknown, 16);
  put16(extensibleUnknown, 22);
  put16(extensibleUnknown, 16);
  put32(extensibleUnknown, 0);
  extensibleUnknown += std::string(16, '\x42');

  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"empty", "", "empty file, not a WAV file"},
      {"short header", "RIFF", "truncated WAV file: no complete header"},
      {"not wave", "RIFF\x04\0\0\0AVI "s, "not a RIFF/WAVE file"},
      {"rf64", "RF64\xFF\xFF\xFF\xFFWAVE"s, "unsupported WAV variant RF64"},
      {"no fmt", riff(""), "no fmt chunk"},
      {"no data", riff(fmtChunk(1, 2, 44100, 16)), "no data chunk"},
      {"data first", riff(dataChunk(pcm16Frame) + fmtChunk(1, 2, 44100, 16)),
       "data chunk before the fmt chunk"},
      {"truncated data",
       riff(fmtChunk(1, 2, 44100, 16) + dataChunk(pcm16Frame + pcm16Frame)).substr(0, 48),
       "truncated WAV file: the data chunk declares 8 bytes but only 4 follow"},
      {"partial frame", riff(fmtChunk(1, 2, 44100, 16) + dataChunk(pcm16Frame + "\x01\x02")),
       "ends inside a frame of 4 bytes"},
      {"short fmt", riff("fmt \x08\0\0\0abcdefgh"s), "malformed WAV file: fmt chunk of 8 bytes"},
      {"8-bit", riff(fmtChunk(1, 1, 44100, 8) + dataChunk("ab")),
       "unsupported sample format: 8-bit PCM"},
      {"64-bit float", riff(fmtChunk(3, 1, 44100, 64) + dataChunk(std::string(8, '\0'))),
       "unsupported sample format: 64-bit float"},
      {"mu-law", riff(fmtChunk(7, 1, 8000, 8) + dataChunk("ab")),
       "unsupported sample format: mu-law"},
      {"odd tag", riff(fmtChunk(0x1234, 1, 8000, 16) + dataChunk("ab")),
       "unsupported sample format: format tag 0x1234"},
      {"extensible unknown", riff(extensibleUnknown + dataChunk("ab")),
       "unknown extensible sub-format"},
      {"three channels", riff(fmtChunk(1, 3, 44100, 16) + dataChunk(std::string(6, '\0'))),
       "unsupported channel count 3 (mono and stereo are supported)"},
      {"no channels", riff(fmtChunk(1, 0, 44100, 16) + dataChunk("")), "0 channels"},
      {"rate zero", riff(fmtChunk(1, 1, 0, 16) + dataChunk("ab")), "sample rate 0"},
      {"chunk past end", riff(fmtChunk(1, 1, 44100, 16)) + "LIST\xFF\0\0\0ab"s,
       "a 'LIST' chunk ends past the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto path = scratchDir() / "bad.wav";
    writeBytes(path, c.bytes);
    try {
      wav::WavReader reader(path);
      ADD_FAILURE() << "accepted";
    } catch (const wav::WavError& e) {
      EXPECT_NE(std::string(e.what()).find("'" + path.string() + "': "), std::string::npos)
          << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(WavFile, BlockAlignmentMustMatchTheFormat) {
  auto dir = scratchDir();
  std::string fmt = fmtChunk(1, 2, 44100, 16);
  fmt[20] = 3;  // block alignment 3 for 4-byte stereo frames
  writeBytes(dir / "align.wav", riff(fmt + dataChunk("abcd")));
  EXPECT_THROW(wav::WavReader{dir / "align.wav"}, wav::WavError);
}

TEST(WavFile, MissingFileAndDirectoryAreErrors) {
  auto dir = scratchDir();
  EXPECT_THROW(wav::WavReader{dir / "absent.wav"}, wav::WavError);
  EXPECT_THROW(wav::WavReader{dir}, wav::WavError);
}

TEST(WavFile, WriterRefusesUnsupportedChannelCounts) {
  auto dir = scratchDir();
  EXPECT_THROW(wav::writeWavFile(dir / "x.wav", {{SampleEncoding::float32, 3, 44100}, {}}),
               wav::WavError);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST(AtomicOutputFile, AppearsOnlyOnCommit) {
  auto dir = scratchDir();
  {
    plughost::AtomicOutputFile out(dir / "result.wav");
    std::fputs("partial", out.stream());
    EXPECT_FALSE(std::filesystem::exists(dir / "result.wav"));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir)) << "an uncommitted file leaves nothing behind";

  writeBytes(dir / "result.wav", "old");
  {
    plughost::AtomicOutputFile out(dir / "result.wav");
    std::fputs("new", out.stream());
    out.commit();
  }
  EXPECT_EQ(readBytes(dir / "result.wav"), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST(AtomicOutputFile, UnwritableTargetsAreNamed) {
  auto dir = scratchDir();
  try {
    plughost::AtomicOutputFile out(dir / "missing-folder" / "x.wav");
    ADD_FAILURE() << "opened";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write '"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("x.wav': "), std::string::npos) << e.what();
  }
  EXPECT_THROW(plughost::AtomicOutputFile{dir}, std::runtime_error);
}

}  // namespace
