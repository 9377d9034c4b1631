# Runs `plughost process` and checks that it succeeds, prints its summary line, and writes a
# file byte-identical to REFERENCE (same WAV writer, so equal bytes mean equal samples).
#   -DCOMMAND=<list: plughost process ... OUT.wav ...> -DOUTPUT=<path> -DREFERENCE=<path>
#   -DFRAMES=<expected frame count> [-DEXPECT_STDERR=<regex>]
file(REMOVE "${OUTPUT}")
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "plughost failed (${rc}): ${err}")
endif()
if(NOT out MATCHES "wrote [^\n]*: ${FRAMES} frames, [0-9.]+ s of audio at [0-9]+ Hz, processed in [0-9.]+ s \\([0-9.]+x real time\\)\n$")
  message(FATAL_ERROR "missing or malformed summary line: ${out}")
endif()
if(DEFINED EXPECT_STDERR)
  if(NOT err MATCHES "${EXPECT_STDERR}")
    message(FATAL_ERROR "standard error does not match '${EXPECT_STDERR}': ${err}")
  endif()
elseif(NOT err STREQUAL "")
  message(FATAL_ERROR "unexpected standard error: ${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUTPUT}" "${REFERENCE}"
                RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${OUTPUT} differs from ${REFERENCE}")
endif()
