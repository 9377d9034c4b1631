# Release artefacts made by CPack from the install rules: a Debian package of the Linux build and
# a zip of both Windows builds (tools/make-release.sh runs both and adds SHA-256 sums).
set(CPACK_PACKAGE_NAME driveeffect)
set(CPACK_PACKAGE_VENDOR "${DRIVE_VENDOR}")
set(CPACK_PACKAGE_CONTACT "${DRIVE_VENDOR} <${DRIVE_EMAIL}>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "stereo three-band drive effect (VST 2, VST 3, LV2) with its own panel")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "DriveEffect drives each channel into three fixed resonant bands, bends\n"
       "each band with a soft clipper and mixes them back with the drive amounts\n"
       "as weights. Its bitmap panel has three knobs, four numeric displays and a\n"
       "pad that steps the output level. The package holds the plug-in for Linux\n"
       "hosts as VST 2, VST 3 and LV2, and plughost, a command-line plug-in host\n"
       "that renders, inspects, pictures and validates plug-ins.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "DriveEffect-${PROJECT_VERSION}-windows")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/release")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/release")
  # Debian wants a copyright file and a changelog in the package's documentation folder.
  set(deb_doc "${PROJECT_BINARY_DIR}/debian-doc")
  file(MAKE_DIRECTORY "${deb_doc}")
  file(READ "${PROJECT_SOURCE_DIR}/LICENSE" license_text)
  string(REGEX REPLACE "\n\n" "\n.\n" license_paragraphs "${license_text}")
  string(REGEX REPLACE "\n([^\n])" "\n \\1" license_indented "${license_paragraphs}")
  # SOURCE_DATE_EPOCH (set by tools/make-release.sh) keeps the date, and so the package,
  # the same from one build of a commit to the next.
  file(WRITE "${deb_doc}/copyright"
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: DriveEffect\n\n"
       "Files: *\nCopyright: DriveEffect developers\nLicense: Expat\n ${license_indented}\n")
  string(TIMESTAMP build_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE "${deb_doc}/changelog"
       "driveeffect (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
       "  * Release ${PROJECT_VERSION}: the plug-in as VST 2, VST 3 and LV2 with its panel,\n"
       "    and plughost.\n\n"
       " -- ${CPACK_PACKAGE_CONTACT}  ${build_date}\n")
  add_custom_command(
    OUTPUT "${deb_doc}/changelog.gz"
    COMMAND gzip -9nkf "${deb_doc}/changelog"
    DEPENDS "${deb_doc}/changelog")
  add_custom_target(debian_changelog ALL DEPENDS "${deb_doc}/changelog.gz")
  install(FILES "${deb_doc}/copyright" "${deb_doc}/changelog.gz" DESTINATION ${DRIVE_DOC_DIR}
          COMPONENT plugin)
endif()

include(CPack)
