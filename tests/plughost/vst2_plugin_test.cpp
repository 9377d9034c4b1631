// A VST 2 editor behind plughost's one plug-in interface: its requests for another size
// (audioMasterSizeWindow) reach the command's window through the editor resizer, canDo
// "sizeWindow" says whether they would, and the editor's rectangle afterwards is what it answers.
#include "tools/plughost/vst2_plugin.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "tools/plughost/plugin_instance.h"

namespace {

using namespace plughost;

// An effect with an editor that, once open, asks the host for 540 x 800 pixels and takes that
// size only when the host says its window followed, as an editor zoomed from its panel does.
class ResizingEffect {
 public:
  ResizingEffect() {
    effect_.magic = kEffectMagic;
    effect_.dispatcher = &ResizingEffect::dispatch;
    effect_.flags = effFlagsHasEditor;
    effect_.object = this;
  }
  AEffect* descriptor() { return &effect_; }
  VstIntPtr canDoAnswer() const { return canDo_; }
  VstIntPtr sizeAnswer() const { return sized_; }

 private:
  static VstIntPtr dispatch(AEffect* effect, std::int32_t opcode, std::int32_t /*index*/,
                            VstIntPtr /*value*/, void* ptr, float /*opt*/) {
    auto& self = *static_cast<ResizingEffect*>(effect->object);
    if (opcode == effEditGetRect) {
      *static_cast<EditorRect**>(ptr) = &self.rect_;
      return 1;
    }
    if (opcode == effEditOpen) {
      char sizeWindow[] = "sizeWindow";
      self.canDo_ = HostCallbackRecorder::callback(effect, audioMasterCanDo, 0, 0, sizeWindow, 0);
      self.sized_ =
          HostCallbackRecorder::callback(effect, audioMasterSizeWindow, 540, 800, nullptr, 0.0f);
      if (self.sized_ != 0) {
        self.rect_ = {0, 0, 800, 540};
      }
      return 1;
    }
    return 0;
  }

  AEffect effect_{};
  EditorRect rect_{0, 0, 400, 270};
  VstIntPtr canDo_ = 0;
  VstIntPtr sized_ = 0;
};

struct Asked {
  int width;
  int height;
};

TEST(Vst2Plugin, TheEditorsSizeRequestGoesToTheCommandsWindow) {
  enum class Window { none, follows, refuses };
  struct Case {
    const char* what;
    Window window;
    VstIntPtr canDo;
    VstIntPtr sized;
    int width;
    int height;
  };
  const Case cases[] = {
      {"a window that follows", Window::follows, 1, 1, 540, 800},
      {"a window that refuses", Window::refuses, 1, 0, 270, 400},
      {"no resizer", Window::none, -1, 0, 270, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResizingEffect editor;
    HostCallbackRecorder host;
    Vst2Plugin plugin(std::make_unique<PluginInstance>(editor.descriptor(), host, nullptr));
    std::vector<Asked> asked;
    if (c.window != Window::none) {
      const bool follows = c.window == Window::follows;
      plugin.setEditorResizer([&asked, follows](int width, int height) {
        asked.push_back({width, height});
        return follows;
      });
    }
    ASSERT_EQ(plugin.editorRect()->right, 270);
    plugin.openEditor(nullptr);
    EXPECT_EQ(editor.canDoAnswer(), c.canDo);
    EXPECT_EQ(editor.sizeAnswer(), c.sized);
    ASSERT_EQ(asked.size(), c.window == Window::none ? 0u : 1u);
    if (!asked.empty()) {
      EXPECT_EQ(asked[0].width, 540);
      EXPECT_EQ(asked[0].height, 800);
    }
    const std::optional<EditorRect> rect = plugin.editorRect();
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(rect->right - rect->left, c.width);
    EXPECT_EQ(rect->bottom - rect->top, c.height);
    EXPECT_EQ(host.countOf(audioMasterSizeWindow), 1u);
  }
}

TEST(Vst2Plugin, ABorrowedInstancesHostRefusesAgainOnceThePluginGoes) {
  ResizingEffect editor;
  HostCallbackRecorder host;
  PluginInstance instance(editor.descriptor(), host, nullptr);
  {
    Vst2Plugin plugin(instance);
    plugin.setEditorResizer([](int, int) { return true; });
    EXPECT_NE(host.editorWindowSizer(), nullptr);
  }
  EXPECT_EQ(host.editorWindowSizer(), nullptr);
  EXPECT_EQ(host.handle(audioMasterSizeWindow, 540, 800, nullptr, 0.0f), 0);
}

}  // namespace
