# Runs the layer check on a fixture tree. With EXPECTED (a file of the lines
# it must print) the check must fail and print exactly those lines; without,
# it must pass and write its stamp.
#   cmake -DCHECK=<CheckLayers.cmake> -DFIXTURE=<tree> -DSTAMP=<file> [-DEXPECTED=<file>] -P RunLayerCheck.cmake
file(REMOVE ${STAMP})
execute_process(COMMAND ${CMAKE_COMMAND} -DQUARNEL_SOURCE_DIR=${FIXTURE} -DQUARNEL_LAYER_STAMP=${STAMP} -P ${CHECK}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT EXPECTED)
  if(NOT result EQUAL 0 OR NOT EXISTS ${STAMP})
    message(FATAL_ERROR "the check failed on a clean tree:\n${output}")
  endif()
  return()
endif()
if(result EQUAL 0 OR EXISTS ${STAMP})
  message(FATAL_ERROR "the check passed a tree with bad includes:\n${output}")
endif()
string(REGEX MATCHALL "[^\n]+:[0-9]+: [^\n]+" printed "${output}")
file(STRINGS ${EXPECTED} expected)
if(NOT printed STREQUAL expected)
  list(JOIN printed "\n" printed)
  list(JOIN expected "\n" expected)
  message(FATAL_ERROR "the check printed\n${printed}\ninstead of\n${expected}")
endif()
