# The VST 3 bundle vst3/DriveEffect.vst3/ in the build folder, in the layout hosts expect: each
# build puts its own binary in its own architecture's folder (Contents/x86_64-linux/DriveEffect.so,
# Contents/x86_64-win/DriveEffect.vst3, Contents/x86-win/DriveEffect.vst3; the Windows ones are DLLs
# named .vst3). Also Steinberg's validator, built once per build folder as a test tool.

set(DRIVE_VST3_BUNDLE_DIR "${CMAKE_BINARY_DIR}/vst3/DriveEffect.vst3")
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(DRIVE_VST3_ARCH x86_64-win)
  else()
    set(DRIVE_VST3_ARCH x86-win)
  endif()
else()
  set(DRIVE_VST3_ARCH x86_64-linux)
endif()
set(DRIVE_VST3_BINARY_DIR "${DRIVE_VST3_BUNDLE_DIR}/Contents/${DRIVE_VST3_ARCH}")

# The adapter around the one DriveEffect; tests and the fuzzer link it as well as the plug-in.
add_library(drive_vst3_adapter STATIC
  host/vst3/vst3_state.cpp
  host/vst3/vst3_text.cpp
  host/vst3/vst3_processor.cpp
  host/vst3/vst3_controller.cpp
  host/vst3/vst3_view.cpp
)
# The editor view shows the panel through the platform's window backend.
if(WIN32)
  target_link_libraries(drive_vst3_adapter PUBLIC drive_portable drive_editor_win)
else()
  target_link_libraries(drive_vst3_adapter PUBLIC drive_portable drive_editor_x11)
endif()
# What the factory tells hosts: the names the release packages carry (top-level CMakeLists.txt).
target_compile_definitions(drive_vst3_adapter PUBLIC
  DRIVE_PRODUCT_NAME="${PROJECT_NAME}" DRIVE_VENDOR="${DRIVE_VENDOR}"
  DRIVE_VERSION="${PROJECT_VERSION}" DRIVE_URL="${DRIVE_URL}" DRIVE_EMAIL="${DRIVE_EMAIL}")

if(DRIVE_SANITIZER STREQUAL "fuzzer")
  return()
endif()

# The plug-in binary. Like the VST 2 binaries it exports its entry names and nothing else and
# carries its own C++ runtime.
if(WIN32)
  # DllMain keeps the module handle the panel loads its bitmap resources from.
  add_library(DriveEffect_vst3 MODULE host/vst3/vst3_factory.cpp host/vst3/vst3_win.def
                                      host/dll_main_win.cpp resources/drive_effect.rc)
  # What a user copies into a plug-in folder carries no symbols.
  target_link_options(DriveEffect_vst3 PRIVATE $<$<CONFIG:Release>:-s>)
else()
  add_library(DriveEffect_vst3 MODULE host/vst3/vst3_factory.cpp)
  if(DRIVE_SANITIZER STREQUAL "")
    target_link_options(DriveEffect_vst3 PRIVATE -static-libstdc++ -static-libgcc
                        "LINKER:--version-script=${PROJECT_SOURCE_DIR}/host/vst3/vst3_elf.map"
                        LINKER:--no-undefined)
    set_property(TARGET DriveEffect_vst3 APPEND PROPERTY LINK_DEPENDS
                 "${PROJECT_SOURCE_DIR}/host/vst3/vst3_elf.map")
  endif()
endif()
target_link_libraries(DriveEffect_vst3 PRIVATE drive_vst3_adapter)
set_target_properties(DriveEffect_vst3 PROPERTIES PREFIX "" OUTPUT_NAME "DriveEffect"
                      LIBRARY_OUTPUT_DIRECTORY "${DRIVE_VST3_BINARY_DIR}")
if(WIN32)
  set_target_properties(DriveEffect_vst3 PROPERTIES SUFFIX ".vst3")
else()
  set_target_properties(DriveEffect_vst3 PROPERTIES SUFFIX ".so")
endif()

# Steinberg's validator from ../shared/vst3-validator, built by its own script into this build
# folder the first time it is missing (70-90 s with one job), never linked into anything.
set(DRIVE_VST3_VALIDATOR_SOURCE "${PROJECT_SOURCE_DIR}/../shared/vst3-validator"
    CACHE PATH "Folder holding the VST 3 validator's sources and build.sh")
option(DRIVE_VST3_VALIDATOR "Build Steinberg's VST 3 validator and test the bundle with it" ON)
if(DRIVE_VST3_VALIDATOR AND DRIVE_SANITIZER STREQUAL ""
   AND EXISTS "${DRIVE_VST3_VALIDATOR_SOURCE}/build.sh")
  set(validator_dir "${CMAKE_BINARY_DIR}/vst3-validator")
  if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(validator_target win64)
    else()
      set(validator_target win32)
    endif()
    set(DRIVE_VST3_VALIDATOR_EXE "${validator_dir}/bin/validator.exe")
  else()
    set(validator_target linux)
    set(DRIVE_VST3_VALIDATOR_EXE "${validator_dir}/bin/Release/validator")
  endif()
  add_custom_command(
    OUTPUT "${DRIVE_VST3_VALIDATOR_EXE}"
    COMMAND ${CMAKE_COMMAND} -E env JOBS=1 sh "${DRIVE_VST3_VALIDATOR_SOURCE}/build.sh"
            ${validator_target} "${validator_dir}"
    COMMENT "Building Steinberg's VST 3 validator (${validator_target})"
    VERBATIM)
  add_custom_target(vst3_validator ALL DEPENDS "${DRIVE_VST3_VALIDATOR_EXE}")
endif()
