# The LV2 bundle lv2/DriveEffect.lv2/ in the build folder: the plug-in binary, the UI binary and the
# data files generated from the parameter table. Also the install rules that put the bundle and
# the VST 2 plug-in where Linux hosts look for them.

find_path(LV2_INCLUDE_DIR lv2/core/lv2.h REQUIRED)
find_path(LV2_UI_INCLUDE_DIR lv2/ui/ui.h REQUIRED)

# In a folder of its own, so that LV2_PATH can name a folder holding this bundle alone.
set(DRIVE_LV2_BUNDLE_DIR "${CMAKE_BINARY_DIR}/lv2/DriveEffect.lv2")

# Like the VST 2 .so: only the descriptor function is exported, and the C++ runtime is linked in.
function(drive_lv2_binary target output_name source map)
  add_library(${target} MODULE ${source})
  target_include_directories(${target} PRIVATE ${LV2_INCLUDE_DIR})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${output_name}
                        LIBRARY_OUTPUT_DIRECTORY "${DRIVE_LV2_BUNDLE_DIR}")
  if(DRIVE_SANITIZER STREQUAL "")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc
                        "LINKER:--version-script=${PROJECT_SOURCE_DIR}/${map}"
                        LINKER:--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${PROJECT_SOURCE_DIR}/${map}")
  endif()
endfunction()

drive_lv2_binary(DriveEffect_lv2_dsp DriveEffect_dsp host/lv2/lv2_plugin.cpp
                 host/lv2/lv2_dsp_elf.map)
target_link_libraries(DriveEffect_lv2_dsp PRIVATE drive_portable)
drive_lv2_binary(DriveEffect_lv2_ui DriveEffect_ui host/lv2/lv2_ui.cpp host/lv2/lv2_ui_elf.map)
target_link_libraries(DriveEffect_lv2_ui PRIVATE drive_portable drive_editor_x11)

add_executable(make_lv2_data tools/make_lv2_data/make_lv2_data.cpp)
target_include_directories(make_lv2_data PRIVATE ${PROJECT_SOURCE_DIR})
set(drive_lv2_data "${DRIVE_LV2_BUNDLE_DIR}/manifest.ttl" "${DRIVE_LV2_BUNDLE_DIR}/DriveEffect.ttl")
add_custom_command(
  OUTPUT ${drive_lv2_data}
  COMMAND ${CMAKE_COMMAND} -E make_directory "${DRIVE_LV2_BUNDLE_DIR}"
  COMMAND make_lv2_data "${DRIVE_LV2_BUNDLE_DIR}"
  DEPENDS make_lv2_data
  VERBATIM)
add_custom_target(DriveEffect_lv2 ALL DEPENDS ${drive_lv2_data})
add_dependencies(DriveEffect_lv2 DriveEffect_lv2_dsp DriveEffect_lv2_ui)

# Install: a plain `cmake --install` (and the Debian package) puts the bundle in lib/lv2 under
# the prefix, /usr unless told, beside the VST 2 plug-in in lib/vst (cmake/Install.cmake);
# `--component user` puts the bundle in ~/.lv2 and the VST 2 plug-in in ~/.vst.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
install(TARGETS DriveEffect_lv2_dsp DriveEffect_lv2_ui LIBRARY
        DESTINATION lib/lv2/DriveEffect.lv2 COMPONENT plugin)
install(FILES ${drive_lv2_data} DESTINATION lib/lv2/DriveEffect.lv2 COMPONENT plugin)
# The user component goes under HOME as it is when installing, whatever the prefix. A destination
# that starts with a variable is not absolute to CMake, which would put the prefix before it; the
# prefix itself becomes HOME for this component instead.
install(CODE "set(CMAKE_INSTALL_PREFIX \"\$ENV{HOME}\")" COMPONENT user EXCLUDE_FROM_ALL)
install(TARGETS DriveEffect_lv2_dsp DriveEffect_lv2_ui LIBRARY DESTINATION .lv2/DriveEffect.lv2
        COMPONENT user EXCLUDE_FROM_ALL)
install(FILES ${drive_lv2_data} DESTINATION .lv2/DriveEffect.lv2 COMPONENT user EXCLUDE_FROM_ALL)
install(TARGETS DriveEffect LIBRARY DESTINATION .vst COMPONENT user EXCLUDE_FROM_ALL)
