# velora_gtest_entries(TARGET LABELS label [PER_CASE] [TIMEOUT s]): the CTest entries of a
# GoogleTest executable, listed each time it links (see GtestEntriesList.cmake). Replaces
# gtest_discover_tests, whose one entry per case started a process per case: most of our cases
# take a few milliseconds and their process start-up cost more than the case.
set(VELORA_GTEST_ENTRIES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/GtestEntriesList.cmake)
# The listing reruns when a test links; its hash in the command line reruns it when the script
# changes too.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELORA_GTEST_ENTRIES_SCRIPT})
file(SHA1 ${VELORA_GTEST_ENTRIES_SCRIPT} VELORA_GTEST_ENTRIES_SCRIPT_HASH)

function(velora_gtest_entries target)
  cmake_parse_arguments(arg "PER_CASE" "LABELS;TIMEOUT" "" ${ARGN})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  if(arg_PER_CASE)
    set(per_case ON)
  else()
    set(per_case OFF)
  endif()
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_entries.cmake)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -D EXE=$<TARGET_FILE:${target}> -D OUT=${list_file}
      -D PER_CASE=${per_case} -D LABELS=${arg_LABELS} -D TIMEOUT=${arg_TIMEOUT}
      -D DISCOVERY_TIMEOUT=30 -D SCRIPT_HASH=${VELORA_GTEST_ENTRIES_SCRIPT_HASH}
      -P ${VELORA_GTEST_ENTRIES_SCRIPT}
    BYPRODUCTS ${list_file}
    VERBATIM)
  # CTest reads the list when it exists; before the first build it shows the executable as
  # missing instead of passing with nothing run.
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_include.cmake)
  file(WRITE ${include_file}
    "if(EXISTS \"${list_file}\")\n"
    "  include(\"${list_file}\")\n"
    "else()\n"
    "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
