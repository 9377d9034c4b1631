// The built VST 3 plug-in's factory and objects as a host first meets them: what the factory says
// about itself and its two classes, and which interfaces each object answers.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "host/vst3/vst3_ids.h"
#include "tests/vst3/vst3_test_host.h"

using vst3test::create;
using vst3test::narrow;
using vst3test::Ref;

namespace {

TEST(Vst3Factory, ModuleEntryPointsAreExported) {
  ASSERT_NE(vst3test::exported("GetPluginFactory"), nullptr);
#if defined(_WIN32)
  EXPECT_NE(vst3test::exported("InitDll"), nullptr);
  EXPECT_NE(vst3test::exported("ExitDll"), nullptr);
#else
  EXPECT_NE(vst3test::exported("ModuleEntry"), nullptr);
  EXPECT_NE(vst3test::exported("ModuleExit"), nullptr);
#endif
}

TEST(Vst3Factory, TellsWhoMadeIt) {
  Ref<Steinberg_IPluginFactory> factory = vst3test::factory();
  ASSERT_TRUE(factory);
  Steinberg_PFactoryInfo info;
  std::memset(&info, '#', sizeof info);
  ASSERT_EQ(factory.vtbl()->getFactoryInfo(factory.get(), &info), Steinberg_kResultOk);
  EXPECT_STREQ(info.vendor, "DriveEffect developers");
  EXPECT_STREQ(info.email, "driveeffect@example.org");
  EXPECT_STREQ(info.url, "");
  EXPECT_EQ(info.flags, Steinberg_PFactoryInfo_FactoryFlags_kUnicode);
  EXPECT_EQ(factory.vtbl()->getFactoryInfo(factory.get(), nullptr), Steinberg_kInvalidArgument);
}

struct ClassCase {
  const char* cid;
  const char* category;
  const char* subCategories;
  Steinberg_uint32 flags;
};

const ClassCase kClassCases[] = {
    {vst3::kProcessorClassId, "Audio Module Class", "Fx|Distortion",
     Steinberg_Vst_ComponentFlags_kDistributable},
    {vst3::kControllerClassId, "Component Controller Class", "", 0},
};

TEST(Vst3Factory, DescribesBothClassesInAllThreeForms) {
  Ref<Steinberg_IPluginFactory3> factory =
      vst3test::factory().query<Steinberg_IPluginFactory3>(Steinberg_IPluginFactory3_iid);
  ASSERT_TRUE(factory);
  ASSERT_EQ(factory.vtbl()->countClasses(factory.get()), 2);
  for (int index = 0; index < 2; ++index) {
    const ClassCase& expected = kClassCases[index];
    SCOPED_TRACE(expected.category);

    Steinberg_PClassInfo info;
    std::memset(&info, '#', sizeof info);
    ASSERT_EQ(factory.vtbl()->getClassInfo(factory.get(), index, &info), Steinberg_kResultOk);
    EXPECT_EQ(std::memcmp(info.cid, expected.cid, 16), 0);
    EXPECT_EQ(info.cardinality, Steinberg_PClassInfo_ClassCardinality_kManyInstances);
    EXPECT_STREQ(info.category, expected.category);
    EXPECT_STREQ(info.name, "DriveEffect");

    Steinberg_PClassInfo2 info2;
    std::memset(&info2, '#', sizeof info2);
    ASSERT_EQ(factory.vtbl()->getClassInfo2(factory.get(), index, &info2), Steinberg_kResultOk);
    EXPECT_EQ(std::memcmp(info2.cid, expected.cid, 16), 0);
    EXPECT_STREQ(info2.subCategories, expected.subCategories);
    EXPECT_EQ(info2.classFlags, expected.flags);
    EXPECT_STREQ(info2.vendor, "DriveEffect developers");
    EXPECT_STREQ(info2.version, "1.0.0");
    EXPECT_STREQ(info2.sdkVersion, "VST 3.8.1");

    Steinberg_PClassInfoW infoW;
    std::memset(&infoW, '#', sizeof infoW);
    ASSERT_EQ(factory.vtbl()->getClassInfoUnicode(factory.get(), index, &infoW),
              Steinberg_kResultOk);
    EXPECT_EQ(std::memcmp(infoW.cid, expected.cid, 16), 0);
    EXPECT_STREQ(infoW.category, expected.category);
    EXPECT_EQ(narrow(infoW.name), "DriveEffect");
    EXPECT_EQ(narrow(infoW.vendor), "DriveEffect developers");
    EXPECT_EQ(narrow(infoW.version), "1.0.0");
    EXPECT_STREQ(infoW.subCategories, expected.subCategories);
  }
  Steinberg_PClassInfo2 info2;
  EXPECT_EQ(factory.vtbl()->getClassInfo2(factory.get(), 2, &info2), Steinberg_kInvalidArgument);
  EXPECT_EQ(factory.vtbl()->getClassInfo2(factory.get(), -1, &info2), Steinberg_kInvalidArgument);
}

// The IDs in the byte order of this platform's hosts: the API's macro gives COM order on Windows.
TEST(Vst3Factory, ClassIdBytesFollowThePlatformOrder) {
  const unsigned char* cid = reinterpret_cast<const unsigned char*>(vst3::kProcessorClassId);
#if defined(_WIN32)
  const unsigned char expected[16] = {0x29, 0x36, 0x68, 0xFD, 0xE8, 0x05, 0x88, 0x4C,
                                      0xA8, 0x7E, 0xD6, 0xAD, 0x1B, 0x49, 0xFB, 0xAA};
#else
  const unsigned char expected[16] = {0xFD, 0x68, 0x36, 0x29, 0x05, 0xE8, 0x4C, 0x88,
                                      0xA8, 0x7E, 0xD6, 0xAD, 0x1B, 0x49, 0xFB, 0xAA};
#endif
  EXPECT_EQ(std::memcmp(cid, expected, 16), 0);
}

TEST(Vst3Factory, RefusesUnknownClassesAndInterfaces) {
  Ref<Steinberg_IPluginFactory> factory = vst3test::factory();
  ASSERT_TRUE(factory);
  void* obj = &obj;
  EXPECT_NE(factory.vtbl()->createInstance(factory.get(), Steinberg_IPluginFactory_iid,
                                           Steinberg_FUnknown_iid, &obj),
            Steinberg_kResultOk);
  EXPECT_EQ(obj, nullptr);
  obj = &obj;
  EXPECT_EQ(factory.vtbl()->createInstance(factory.get(), vst3::kProcessorClassId,
                                           Steinberg_Vst_IEditController_iid, &obj),
            Steinberg_kNoInterface);
  EXPECT_EQ(obj, nullptr);
}

// Where hosts of each platform read the fields the processor exchanges with them: the SDK's own
// layout (8-byte alignment for 64-bit fields on Windows, on both bitnesses).
TEST(Vst3Factory, ApiStructsHaveTheHostsLayout) {
  EXPECT_EQ(offsetof(Steinberg_Vst_ProcessSetup, sampleRate), 16u);
  EXPECT_EQ(sizeof(Steinberg_Vst_ProcessSetup), 24u);
  EXPECT_EQ(offsetof(Steinberg_Vst_AudioBusBuffers, silenceFlags), 8u);
  EXPECT_EQ(offsetof(Steinberg_Vst_ParameterInfo, defaultNormalizedValue), 776u);
  EXPECT_EQ(offsetof(Steinberg_Vst_ProcessData, inputs), sizeof(void*) == 8 ? 24u : 20u);
}

enum class Made { factory, processor, controller };

struct InterfaceCase {
  const char* iidName;
  const char* iid;
  Made object;
  bool answered;
};

const InterfaceCase kInterfaceCases[] = {
    {"FUnknown", Steinberg_FUnknown_iid, Made::factory, true},
    {"IPluginFactory", Steinberg_IPluginFactory_iid, Made::factory, true},
    {"IPluginFactory2", Steinberg_IPluginFactory2_iid, Made::factory, true},
    {"IPluginFactory3", Steinberg_IPluginFactory3_iid, Made::factory, true},
    {"IComponent", Steinberg_Vst_IComponent_iid, Made::factory, false},
    {"FUnknown", Steinberg_FUnknown_iid, Made::processor, true},
    {"IPluginBase", Steinberg_IPluginBase_iid, Made::processor, true},
    {"IComponent", Steinberg_Vst_IComponent_iid, Made::processor, true},
    {"IAudioProcessor", Steinberg_Vst_IAudioProcessor_iid, Made::processor, true},
    {"IProcessContextRequirements", Steinberg_Vst_IProcessContextRequirements_iid, Made::processor,
     true},
    {"IEditController", Steinberg_Vst_IEditController_iid, Made::processor, false},
    {"IConnectionPoint", Steinberg_Vst_IConnectionPoint_iid, Made::processor, false},
    {"IPluginFactory", Steinberg_IPluginFactory_iid, Made::processor, false},
    {"FUnknown", Steinberg_FUnknown_iid, Made::controller, true},
    {"IPluginBase", Steinberg_IPluginBase_iid, Made::controller, true},
    {"IEditController", Steinberg_Vst_IEditController_iid, Made::controller, true},
    {"IUnitInfo", Steinberg_Vst_IUnitInfo_iid, Made::controller, true},
    {"IComponent", Steinberg_Vst_IComponent_iid, Made::controller, false},
    {"IAudioProcessor", Steinberg_Vst_IAudioProcessor_iid, Made::controller, false},
    {"IPlugView", Steinberg_IPlugView_iid, Made::controller, false},
};

Ref<Steinberg_FUnknown> make(Made object) {
  switch (object) {
    case Made::factory:
      return vst3test::factory().query<Steinberg_FUnknown>(Steinberg_FUnknown_iid);
    case Made::processor:
      return create<Steinberg_FUnknown>(vst3::kProcessorClassId, Steinberg_FUnknown_iid);
    case Made::controller:
      return create<Steinberg_FUnknown>(vst3::kControllerClassId, Steinberg_FUnknown_iid);
  }
  return {};
}

TEST(Vst3Factory, EachObjectAnswersItsInterfacesAndRefusesTheRest) {
  for (const InterfaceCase& c : kInterfaceCases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.object)) + " " + c.iidName);
    Ref<Steinberg_FUnknown> object = make(c.object);
    ASSERT_TRUE(object);
    void* face = &face;
    const Steinberg_tresult result = object.vtbl()->queryInterface(object.get(), c.iid, &face);
    if (!c.answered) {
      EXPECT_EQ(result, Steinberg_kNoInterface);
      EXPECT_EQ(face, nullptr);
      continue;
    }
    ASSERT_EQ(result, Steinberg_kResultOk);
    ASSERT_NE(face, nullptr);
    // Whatever interface was asked for, it leads back to one object: its FUnknown is the same.
    Ref<Steinberg_FUnknown> asked(static_cast<Steinberg_FUnknown*>(face));
    Ref<Steinberg_FUnknown> identity = asked.query<Steinberg_FUnknown>(Steinberg_FUnknown_iid);
    Ref<Steinberg_FUnknown> original = object.query<Steinberg_FUnknown>(Steinberg_FUnknown_iid);
    EXPECT_EQ(identity.get(), original.get());
  }
}

TEST(Vst3Factory, ReferenceCountsCountAcrossInterfaces) {
  Ref<Steinberg_Vst_IComponent> component =
      create<Steinberg_Vst_IComponent>(vst3::kProcessorClassId, Steinberg_Vst_IComponent_iid);
  ASSERT_TRUE(component);
  Ref<Steinberg_Vst_IAudioProcessor> processor =
      component.query<Steinberg_Vst_IAudioProcessor>(Steinberg_Vst_IAudioProcessor_iid);
  ASSERT_TRUE(processor);
  // Two references now: the component's and the processor's.
  EXPECT_EQ(processor.vtbl()->addRef(processor.get()), 3u);
  EXPECT_EQ(component.vtbl()->release(component.get()), 2u);
}

}  // namespace
