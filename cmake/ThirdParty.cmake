# Header-only libraries from Debian for the tools and tests. A cross build must never search
# /usr/include as a whole (its C library headers are Linux's), so both builds see a folder of
# their own holding links to just these libraries.
set(DRIVE_THIRD_PARTY_INCLUDE "${CMAKE_BINARY_DIR}/third-party-include")
file(MAKE_DIRECTORY "${DRIVE_THIRD_PARTY_INCLUDE}")
foreach(lib CLI nlohmann stb)
  if(EXISTS "/usr/include/${lib}")
    file(CREATE_LINK "/usr/include/${lib}" "${DRIVE_THIRD_PARTY_INCLUDE}/${lib}" SYMBOLIC)
  endif()
endforeach()
add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE "${DRIVE_THIRD_PARTY_INCLUDE}")

if(DRIVE_BUILD_TESTS)
  if(WIN32)
    # GoogleTest for Windows is built from Debian's googletest sources.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    # Its own project defines the GTest:: aliases the tests link against.
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
