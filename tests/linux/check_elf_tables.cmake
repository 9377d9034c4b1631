# A host loads many plug-ins into one process: DriveEffect.so exports its two entry names and
# nothing else, and needs nothing but the C library, libm and libxcb (its C++ runtime is inside).
#   cmake -DREADELF=... -DSO=... [-DEXPORTS=name;name] -P check_elf_tables.cmake
# EXPORTS, sorted, defaults to the VST 2 plug-in's two entry names.
if(NOT DEFINED EXPORTS)
  set(EXPORTS "VSTPluginMain;main")
endif()
execute_process(COMMAND ${READELF} --wide --dyn-syms "${SO}" OUTPUT_VARIABLE symbols
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${SO}")
endif()
# Defined symbols have a section index; undefined ones show UND.
set(exported "")
string(REPLACE "\n" ";" lines "${symbols}")
foreach(line IN LISTS lines)
  if(line MATCHES "^ *[0-9]+: [0-9a-f]+ +[0-9]+ +[A-Z_]+ +(GLOBAL|WEAK) +[A-Z]+ +([0-9]+) +([^ @]+)")
    list(APPEND exported "${CMAKE_MATCH_3}")
  endif()
endforeach()
list(SORT exported)
if(NOT exported STREQUAL EXPORTS)
  message(FATAL_ERROR "exported symbols: '${exported}', expected exactly '${EXPORTS}'")
endif()

execute_process(COMMAND ${READELF} --dynamic "${SO}" OUTPUT_VARIABLE dynamic)
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
string(REGEX REPLACE "Shared library: \\[([^]]+)\\]" "\\1" needed "${needed}")
foreach(library IN LISTS needed)
  if(NOT library MATCHES "^(libc\\.so\\.6|libm\\.so\\.6|libxcb\\.so\\.1|ld-linux-x86-64\\.so\\.2)$")
    message(FATAL_ERROR "needs '${library}' (all: ${needed}): only libc, libm and libxcb may be")
  endif()
endforeach()
message(STATUS "exports: ${exported}; needs: ${needed}")
