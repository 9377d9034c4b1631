// The module's entry points and its class factory (IPluginFactory3, which also answers as
// IPluginFactory2 and IPluginFactory): one processor class and one controller class. The factory
// is a single object that lives as long as the module; its reference count is kept for the host's
// sake only.
#include <cstring>
#include <iterator>

#include "host/vst3/vst3_ids.h"
#include "host/vst3/vst3_plugin.h"

namespace vst3 {

namespace {

using Factory3 = Steinberg_IPluginFactory3;

struct ClassEntry {
  const char* cid;
  const char* category;
  const char* subCategories;
  Steinberg_uint32 flags;
};

// The processor shares nothing with its controller: hosts may run them apart.
const ClassEntry kClasses[] = {
    {kProcessorClassId, kProcessorCategory, kSubCategories,
     Steinberg_Vst_ComponentFlags_kDistributable},
    {kControllerClassId, kControllerCategory, "", 0},
};
constexpr Steinberg_int32 kClassCount = static_cast<Steinberg_int32>(std::size(kClasses));

bool validIndex(Steinberg_int32 index) {
  return index >= 0 && index < kClassCount;
}

class Factory {
 public:
  Factory() noexcept;

  tresult queryInterface(const char* iid, void** obj) noexcept {
    if (obj == nullptr) {
      return Steinberg_kInvalidArgument;
    }
    // The three factory interfaces extend one another, so one vtable serves them all.
    if (sameId(iid, Steinberg_FUnknown_iid) || sameId(iid, Steinberg_IPluginFactory_iid) ||
        sameId(iid, Steinberg_IPluginFactory2_iid) || sameId(iid, Steinberg_IPluginFactory3_iid)) {
      *obj = &factory_;
      addRef();
      return Steinberg_kResultOk;
    }
    *obj = nullptr;
    return Steinberg_kNoInterface;
  }
  Steinberg_uint32 addRef() noexcept { return refs_.add(); }
  // Never freed: the module owns it.
  Steinberg_uint32 release() noexcept { return refs_.release(); }

  tresult getFactoryInfo(Steinberg_PFactoryInfo* info) noexcept {
    if (info == nullptr) {
      return Steinberg_kInvalidArgument;
    }
    std::memset(info, 0, sizeof *info);
    copyText(info->vendor, kVendor);
    copyText(info->url, kUrl);
    copyText(info->email, kEmail);
    info->flags = Steinberg_Vst_kDefaultFactoryFlags;
    return Steinberg_kResultOk;
  }
  Steinberg_int32 countClasses() noexcept { return kClassCount; }
  tresult getClassInfo(Steinberg_int32 index, Steinberg_PClassInfo* info) noexcept {
    if (info == nullptr || !validIndex(index)) {
      return Steinberg_kInvalidArgument;
    }
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->cid, kClasses[index].cid, sizeof info->cid);
    info->cardinality = Steinberg_PClassInfo_ClassCardinality_kManyInstances;
    copyText(info->category, kClasses[index].category);
    copyText(info->name, kPluginName);
    return Steinberg_kResultOk;
  }
  tresult createInstance(const char* cid, const char* iid, void** obj) noexcept {
    if (obj == nullptr) {
      return Steinberg_kInvalidArgument;
    }
    *obj = nullptr;
    if (sameId(cid, kProcessorClassId)) {
      return createProcessor(iid, obj);
    }
    if (sameId(cid, kControllerClassId)) {
      return createController(iid, obj);
    }
    return Steinberg_kNoInterface;
  }
  tresult getClassInfo2(Steinberg_int32 index, Steinberg_PClassInfo2* info) noexcept {
    return fillClassInfo(index, info);
  }
  tresult getClassInfoUnicode(Steinberg_int32 index, Steinberg_PClassInfoW* info) noexcept {
    return fillClassInfo(index, info);
  }
  // The same fields in both records; only the character type of their texts differs.
  template <typename Info>
  tresult fillClassInfo(Steinberg_int32 index, Info* info) noexcept {
    if (info == nullptr || !validIndex(index)) {
      return Steinberg_kInvalidArgument;
    }
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->cid, kClasses[index].cid, sizeof info->cid);
    info->cardinality = Steinberg_PClassInfo_ClassCardinality_kManyInstances;
    copyText(info->category, kClasses[index].category);
    copyText(info->name, kPluginName);
    info->classFlags = kClasses[index].flags;
    copyText(info->subCategories, kClasses[index].subCategories);
    copyText(info->vendor, kVendor);
    copyText(info->version, kVersion);
    copyText(info->sdkVersion, Steinberg_Vst_SDKVersionString);
    return Steinberg_kResultOk;
  }
  // Nothing here asks the host anything.
  tresult setHostContext(Steinberg_FUnknown* /*context*/) noexcept { return Steinberg_kResultOk; }

  Steinberg_IPluginFactory* face() {
    return reinterpret_cast<Steinberg_IPluginFactory*>(&factory_);
  }

 private:
  Slot<Factory3, Factory> factory_;
  RefCount refs_;
};

const Steinberg_IPluginFactory3Vtbl kFactoryVtbl = {
    thunk<Factory3, &Factory::queryInterface>,
    thunk<Factory3, &Factory::addRef>,
    thunk<Factory3, &Factory::release>,
    thunk<Factory3, &Factory::getFactoryInfo>,
    thunk<Factory3, &Factory::countClasses>,
    thunk<Factory3, &Factory::getClassInfo>,
    thunk<Factory3, &Factory::createInstance>,
    thunk<Factory3, &Factory::getClassInfo2>,
    thunk<Factory3, &Factory::getClassInfoUnicode>,
    thunk<Factory3, &Factory::setHostContext>,
};

// The API's interface structs hold their vtables through non-const pointers; hosts only read them.
Factory::Factory() noexcept
    : factory_{{const_cast<Steinberg_IPluginFactory3Vtbl*>(&kFactoryVtbl)}, this} {}

}  // namespace

}  // namespace vst3

#if defined(_WIN32)
#define DRIVE_VST3_EXPORT
#else
#define DRIVE_VST3_EXPORT __attribute__((visibility("default")))
#endif

// The factory is made on first use and never freed; each call hands out one more reference.
extern "C" DRIVE_VST3_EXPORT Steinberg_IPluginFactory* GetPluginFactory() noexcept {
  static vst3::Factory factory;
  Steinberg_IPluginFactory* face = factory.face();
  face->lpVtbl->addRef(face);
  return face;
}

// The module holds nothing that needs making or freeing when it is loaded or unloaded; hosts call
// these around all other use, and they succeed.
#if defined(_WIN32)
extern "C" bool InitDll() noexcept {
  return true;
}
extern "C" bool ExitDll() noexcept {
  return true;
}
#else
extern "C" DRIVE_VST3_EXPORT bool ModuleEntry(void* /*sharedLibraryHandle*/) noexcept {
  return true;
}
extern "C" DRIVE_VST3_EXPORT bool ModuleExit() noexcept {
  return true;
}
#endif
