# What a user gets, and where hosts look for it.
#
# Linux, for everyone:  cmake --install build/native   (prefix /usr unless told)
#   lib/vst/DriveEffect.so, lib/vst3/DriveEffect.vst3/, lib/lv2/DriveEffect.lv2/, bin/plughost,
#   share/doc/driveeffect/
# Linux, for one user:  cmake --install build/native --component user
#   ~/.vst/DriveEffect.so, ~/.vst3/DriveEffect.vst3/, ~/.lv2/DriveEffect.lv2/
# Windows (release archive): each bitness's DLL and plughost.exe in a folder of its own, one
# DriveEffect.vst3/ bundle holding both bitnesses' binaries (Contents/x86_64-win/,
# Contents/x86-win/), README and LICENSE beside them.
#
# The Debian package and the Windows archive are made from these rules by CPack (Packaging.cmake,
# tools/make-release.sh).
# Plain lib/, not GNUInstallDirs' multiarch folder: hosts scan lib/vst and lib/lv2 exactly.
set(DRIVE_DOC_DIR share/doc/driveeffect)
set(DRIVE_DOC_FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(bitness_folder win64)
  else()
    set(bitness_folder win32)
  endif()
  install(TARGETS DriveEffect RUNTIME DESTINATION ${bitness_folder} COMPONENT plugin)
  # A VST 3 bundle carries every architecture's binary in its own folder: hosts of either bitness
  # take the one bundle, and both builds install into it.
  install(TARGETS DriveEffect_vst3 LIBRARY
          DESTINATION DriveEffect.vst3/Contents/${DRIVE_VST3_ARCH} COMPONENT plugin)
  install(TARGETS plughost RUNTIME DESTINATION ${bitness_folder} COMPONENT tools)
  install(FILES ${DRIVE_DOC_FILES} DESTINATION . COMPONENT plugin)
  return()
endif()

install(TARGETS DriveEffect LIBRARY DESTINATION lib/vst COMPONENT plugin)
# VST 3 hosts on Linux look in /usr/lib/vst3 and ~/.vst3 for bundles.
install(TARGETS DriveEffect_vst3 LIBRARY
        DESTINATION lib/vst3/DriveEffect.vst3/Contents/${DRIVE_VST3_ARCH} COMPONENT plugin)
# After lv2_bundle.cmake's rule that makes HOME the user component's prefix.
install(TARGETS DriveEffect_vst3 LIBRARY
        DESTINATION .vst3/DriveEffect.vst3/Contents/${DRIVE_VST3_ARCH} COMPONENT user
        EXCLUDE_FROM_ALL)
install(TARGETS plughost RUNTIME DESTINATION bin COMPONENT tools)
install(FILES ${DRIVE_DOC_FILES} DESTINATION ${DRIVE_DOC_DIR} COMPONENT plugin)
# The LV2 bundle's rules, and the `user` component (~/.vst, ~/.lv2), are in lv2_bundle.cmake.
