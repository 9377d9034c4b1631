# What a user gets, and where hosts look for it.
#
# Linux, for everyone:  cmake --install build/native   (prefix /usr unless told)
#   lib/vst/DriveEffect.so, lib/lv2/DriveEffect.lv2/, bin/plughost, share/doc/driveeffect/
# Linux, for one user:  cmake --install build/native --component user
#   ~/.vst/DriveEffect.so, ~/.lv2/DriveEffect.lv2/
# Windows (release archive): each bitness in a folder of its own, README and LICENSE beside them.
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
  install(TARGETS plughost RUNTIME DESTINATION ${bitness_folder} COMPONENT tools)
  install(FILES ${DRIVE_DOC_FILES} DESTINATION . COMPONENT plugin)
  return()
endif()

install(TARGETS DriveEffect LIBRARY DESTINATION lib/vst COMPONENT plugin)
install(TARGETS plughost RUNTIME DESTINATION bin COMPONENT tools)
install(FILES ${DRIVE_DOC_FILES} DESTINATION ${DRIVE_DOC_DIR} COMPONENT plugin)
# The LV2 bundle's rules, and the `user` component (~/.vst, ~/.lv2), are in lv2_bundle.cmake.
