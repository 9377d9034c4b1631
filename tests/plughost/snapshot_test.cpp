// `plughost snapshot` end to end under Wine: the program runs as a host would be run, and its
// picture is decoded and compared pixel for pixel with what the panel must show, composed from
// the committed bitmap files; its report lines give the values and the automation.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "tests/wine/panel_test_support.h"

namespace {

using paneltest::expectedPanel;
using paneltest::PanelView;
using paneltest::samePicture;

const PanelView kDefaultView{{{21, 9}, {21, 9}, {21, 9}}, {"+ 5.0", "+ 5.0", "+ 5.0", "+ 2.0"}};

struct ProgramRun {
  DWORD exitCode = 0;
  std::string out;
  std::string err;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  std::erase(text, '\r');
  return text;
}

HANDLE inheritableFile(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::path(PLUGHOST_TEST_SCRATCH) / info->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    png = dir / "panel.png";
  }

  // plughost.exe snapshot DLL panel.png ARGS..., as a separate process, to its end.
  ProgramRun snapshot(const std::vector<std::string>& args) {
    // Appended piece by piece: GCC 12's -Wrestrict misfires on "literal" + std::string here.
    std::string commandLine = "\"" PLUGHOST_EXE "\" snapshot \"" DRIVE_DLL_PATH "\" \"";
    commandLine += png.string();
    commandLine += '"';
    for (const std::string& arg : args) {
      commandLine += ' ';
      commandLine += arg;
    }
    const auto outPath = dir / "stdout.txt";
    const auto errPath = dir / "stderr.txt";
    HANDLE out = inheritableFile(outPath);
    HANDLE err = inheritableFile(errPath);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    ProgramRun run;
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    EXPECT_TRUE(started) << commandLine << " (error " << GetLastError() << ")";
    if (started) {
      EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0) << commandLine;
      GetExitCodeProcess(process.hProcess, &run.exitCode);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
  }

  // The written picture, or an empty image when there is none or it is not a PNG.
  paneltest::Image picture() const {
    paneltest::Image image;
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* rgb = stbi_load(png.string().c_str(), &width, &height, &channels, 3);
    if (rgb == nullptr) {
      ADD_FAILURE() << png << ": " << stbi_failure_reason();
      return image;
    }
    image.width = width;
    image.height = height;
    for (int i = 0; i < width * height; ++i) {
      image.pixels.push_back(
          static_cast<std::uint32_t>(rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2]));
    }
    stbi_image_free(rgb);
    return image;
  }

  std::filesystem::path dir;
  std::filesystem::path png;
};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

// The value "I=V" after "parameters" in a report line.
float parameterIn(const std::string& line, int index) {
  std::string key(1, ' ');
  key += std::to_string(index);
  key += '=';
  const std::size_t at = line.find(key, line.find("parameters"));
  EXPECT_NE(at, std::string::npos) << line;
  return at == std::string::npos ? NAN : std::stof(line.substr(at + key.size()));
}

bool withinOneUlp(float actual, float expected) {
  return actual == expected || actual == std::nextafter(expected, 0.0f) ||
         actual == std::nextafter(expected, 2.0f);
}

TEST_F(SnapshotTest, DefaultsShowTheBackgroundAndTheDefaultDigits) {
  const ProgramRun run = snapshot({});
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(linesOf(run.out),
            (std::vector<std::string>{
                "opened the editor, 270 x 400 pixels: parameters 0=0.5 1=0.5 2=0.5 3=0.2",
                "wrote " + png.string() + ": 270 x 400 pixels"}));
  const paneltest::Image shown = picture();
  ASSERT_EQ(shown.width, 270);
  ASSERT_EQ(shown.height, 400);
  // Where no control is drawn the panel is its background picture, corners included.
  const paneltest::Image& background = paneltest::committedBitmaps().background;
  for (const POINT p : {POINT{0, 0}, POINT{269, 0}, POINT{0, 399}, POINT{269, 399}, POINT{135, 200},
                        POINT{100, 300}, POINT{55, 43}, POINT{150, 120}}) {
    EXPECT_EQ(shown.at(p.x, p.y), background.at(p.x, p.y)) << p.x << ", " << p.y;
  }
  // And everything else is the three indices at the top and the four displays at 5.0 and 2.0.
  EXPECT_TRUE(samePicture(shown, expectedPanel(kDefaultView)));
}

TEST_F(SnapshotTest, ParametersSetBeforeOpeningShowWithoutAutomation) {
  const ProgramRun run = snapshot({"--param", "0=0.25", "--param", "3=1"});
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  const std::vector<std::string> lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[0], "opened the editor, 270 x 400 pixels: parameters 0=0.25 1=0.5 2=0.5 3=1");
  EXPECT_TRUE(samePicture(picture(), expectedPanel({{{9, 19}, {21, 9}, {21, 9}},
                                                    {"+ 2.5", "+ 5.0", "+ 5.0", "+10.0"}})));
}

TEST_F(SnapshotTest, PressAboveTheKnobCentreSetsOneHalfAndReportsIt) {
  const ProgramRun run = snapshot({"--param", "0=0.1", "--press", "55,30"});
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  const std::vector<std::string> lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[1],
            "press 55,30: parameters 0=0.5 1=0.5 2=0.5 3=0.2; automation: 1 report (0=0.5)");
  EXPECT_TRUE(samePicture(picture(), expectedPanel(kDefaultView)));
}

TEST_F(SnapshotTest, DragFromLeftToRightTurnsTheKnobWithThePointer) {
  const ProgramRun run = snapshot({"--drag", "40,43:70,43"});
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  const std::vector<std::string> lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  const std::string& drag = lines[1];
  ASSERT_EQ(drag.rfind("drag 40,43:70,43: parameters ", 0), 0u) << drag;
  const float value = parameterIn(drag, 0);
  EXPECT_TRUE(withinOneUlp(value, 0.7857143f)) << drag;
  EXPECT_EQ(parameterIn(drag, 1), 0.5f);
  // The press and each of the eight moves with the button held report; the path starts
  // straight left (3/14) and ends straight right (11/14).
  EXPECT_NE(drag.find("; automation: 9 reports (0=0.21428572 "), std::string::npos) << drag;
  EXPECT_NE(drag.find(" 0=0.78571427)"), std::string::npos) << drag;
  // The index stands at the right of the knob, the display reads 7.8.
  EXPECT_TRUE(samePicture(picture(), expectedPanel({{{32, 20}, {21, 9}, {21, 9}},
                                                    {"+ 7.8", "+ 5.0", "+ 5.0", "+ 2.0"}})));
}

TEST_F(SnapshotTest, ActionsRunInCommandLineOrder) {
  struct Case {
    std::vector<std::string> args;
    const char* firstAction;
    float knob0;
    PanelView view;
  };
  const Case cases[] = {
      {{"--drag", "40,43:70,43", "--press", "55,30"}, "drag 40,43:70,43", 0.5f, kDefaultView},
      {{"--press=55,30", "--drag=40,43:70,43"},
       "press 55,30",
       0.78571427f,
       {{{32, 20}, {21, 9}, {21, 9}}, {"+ 7.8", "+ 5.0", "+ 5.0", "+ 2.0"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstAction);
    const ProgramRun run = snapshot(c.args);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines[1].rfind(c.firstAction, 0), 0u) << lines[1];
    EXPECT_EQ(parameterIn(lines[2], 0), c.knob0) << lines[2];
    EXPECT_TRUE(samePicture(picture(), expectedPanel(c.view)));
  }
}

TEST_F(SnapshotTest, ButtonsAndTheLevelPadStepTheirControls) {
  // Plus of control 0, minus of control 2, then the level pad up three times and down once.
  const ProgramRun run =
      snapshot({"--press", "78,79", "--press", "236,88", "--press", "134,260", "--press", "134,260",
                "--press", "134,260", "--press", "134,340"});
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  const std::vector<std::string> lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), 8u) << run.out;
  const float level[] = {0.25f, 0.3f, 0.35f, 0.3f};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(lines[3 + i]);
    EXPECT_FLOAT_EQ(parameterIn(lines[3 + i], 3), level[i]);
    EXPECT_NE(lines[3 + i].find("automation: 1 report (3="), std::string::npos);
  }
  EXPECT_EQ(parameterIn(lines[6], 0), static_cast<float>(0.5 + 0.01));
  EXPECT_EQ(parameterIn(lines[6], 2), static_cast<float>(0.5 - 0.01));
  EXPECT_TRUE(samePicture(picture(), expectedPanel({{{21, 9}, {21, 9}, {20, 9}},
                                                    {"+ 5.1", "+ 5.0", "+ 4.9", "+ 3.0"}})));
}

}  // namespace
