# Run after a GoogleTest executable links (cmake -P): lists its cases and writes the CTest entries
# for them to OUT. One entry per test suite, so a folder of 60 quick cases starts a dozen processes
# instead of 60; with PER_CASE one entry per case, for folders whose cases each take seconds and
# are better spread over the job slots. gtest prints every failed case by name either way.
#
# Inputs: EXE, OUT, PER_CASE (ON/OFF), LABELS, TIMEOUT, DISCOVERY_TIMEOUT.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${EXE}" --gtest_list_tests
  TIMEOUT ${DISCOVERY_TIMEOUT}
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE listing_errors
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed (${result}):\n${listing}${listing_errors}")
endif()

# Square brackets and semicolons in parameter comments would break CMake's list handling; the
# comments are not needed.
string(REGEX REPLACE "[[;]" "_" listing "${listing}")
string(REPLACE "]" "_" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")

set(entries)
set(suite "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE " *#.*$" "" line "${line}")
  if(line STREQUAL "")
    continue()
  endif()
  if(line MATCHES "^  +(.+)$")
    set(case "${CMAKE_MATCH_1}")
    if(suite STREQUAL "" OR suite MATCHES "^DISABLED_" OR case MATCHES "^DISABLED_")
      continue()
    endif()
    if(PER_CASE)
      list(APPEND entries "${suite}.${case}")
    elseif(NOT "${suite}.*" IN_LIST entries)
      list(APPEND entries "${suite}.*")
    endif()
  elseif(line MATCHES "^([^ ]+)\\.$")
    set(suite "${CMAKE_MATCH_1}")
  endif()
endforeach()

# A run where no case passed but gtest exited 0 skipped them all (GTEST_SKIP: no sound server,
# no X server); CTest shows that as "Not Run" instead of a pass.
set(skipped [=[\[  PASSED  \] 0 tests\.]=])
set(script "")
foreach(entry IN LISTS entries)
  string(APPEND script
    "add_test([=[${entry}]=] [=[${EXE}]=] [=[--gtest_filter=${entry}]=])\n"
    "set_tests_properties([=[${entry}]=] PROPERTIES LABELS [=[${LABELS}]=] TIMEOUT ${TIMEOUT}"
    " SKIP_REGULAR_EXPRESSION [=[${skipped}]=])\n")
endforeach()
file(WRITE "${OUT}" "${script}")
