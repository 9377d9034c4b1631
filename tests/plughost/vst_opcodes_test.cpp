#include "tools/plughost/vst_opcodes.h"

#include <gtest/gtest.h>

namespace {

using namespace plughost;

TEST(Opcodes, TextNamesDefinedOpcodesOnly) {
  EXPECT_EQ(opcodeText(effGetParamDisplay), "7 (effGetParamDisplay)");
  EXPECT_EQ(opcodeText(79), "79 (effGetNumMidiOutputChannels)");
  EXPECT_EQ(opcodeText(80), "80");
  EXPECT_EQ(opcodeText(-1), "-1");
}

TEST(Opcodes, OutputPointersSayHowMuchMayBeWritten) {
  struct Case {
    std::int32_t opcode;
    PointerKind pointer;
    std::size_t writable;
  };
  const Case cases[] = {
      {effGetParamName, PointerKind::output, 9},
      {effGetProgramName, PointerKind::output, 24},
      {effEditGetRect, PointerKind::output, sizeof(void*)},
      {effGetVendorString, PointerKind::output, 64},
      {effSetProgramName, PointerKind::input, 0},
      {50, PointerKind::any, 4096},
      {effMainsChanged, PointerKind::none, 0},
      {1000, PointerKind::none, 0},
  };
  for (const Case& c : cases) {
    const OpcodeInfo info = opcodeInfo(c.opcode);
    EXPECT_EQ(info.pointer, c.pointer) << c.opcode;
    EXPECT_EQ(info.writable, c.writable) << c.opcode;
  }
}

TEST(ProcessModes, NamesReadBack) {
  for (ProcessMode mode : {ProcessMode::replacing, ProcessMode::accumulating}) {
    EXPECT_EQ(processModeFromName(processModeName(mode)), mode);
  }
  EXPECT_FALSE(processModeFromName("Replacing"));
}

}  // namespace
