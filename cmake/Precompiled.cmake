# Precompiled headers, and test code compiled without optimisation.
#
# A fresh build spends most of its time parsing the standard library, Qt and GoogleTest headers
# again for every file, and optimising test code that runs once. Each kind of target here shares
# one precompiled set of those headers, built by a small "donor" target with the flags of its
# users: GCC only takes a precompiled header built with the same -fPIC, optimisation level and the
# macros its headers test, and otherwise parses the headers as text without a word.
# CMake adds -Winvalid-pch, which makes that a warning (an error with warnings as errors), so a
# flag that drifts apart shows at once instead of as a slow build.
#
# velora_precompile_all() runs once at the end of the top-level CMakeLists, when every target is
# known, and gives each compiled target its set:
#   core   targets that use neither Qt nor the tests: the standard library;
#   qt     targets that use Qt's widgets: that and the Qt widgets in common use (a few small Qt
#          targets without widgets, and those with a reserved macro of their own, get none);
#   test   GoogleTest files and the fuzz replay: the standard library, GoogleTest, BuildTree.h;
#   qtest  Qt Test programs: the standard library, Qt widgets and Qt Test (with or without Qt
#          Network, which Qt Test's headers test).
# Test code (tests/, fuzz/) is built at -O0: about half the compile time of -O2, and what the
# tests run is the optimised product code they link.
option(VELORA_PCH "Precompile the common headers (cmake -DVELORA_PCH=OFF to check that every file includes what it uses)" ON)

set(VELORA_PCH_STD
  <algorithm> <array> <atomic> <chrono> <condition_variable> <cstdint> <cstdio> <cstdlib>
  <cstring> <filesystem> <fstream> <functional> <map> <memory> <mutex> <optional> <set> <sstream>
  <string> <string_view> <system_error> <thread> <unordered_map> <utility> <vector>)
set(VELORA_PCH_QT
  <QObject> <QString> <QStringList> <QByteArray> <QVariant> <QTimer> <QPointer> <QEvent>
  <QWidget> <QLabel> <QAbstractButton> <QPushButton> <QLineEdit> <QDialog> <QApplication>
  <QPainter> <QPixmap> <QImage>)

set(VELORA_TEST_CODE_DIRS ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/fuzz)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # CMake hands clang a set as "-Xclang -include -Xclang /full/path/cmake_pch.hxx": ccache cannot
  # make that path relative to the checkout, so no two clones shared the entry of a file that
  # uses a set. A plain -include is made relative, and clang finds the set beside the header
  # (cmake_pch.hxx.pch), as GCC does with its .gch.
  set(CMAKE_CXX_COMPILE_OPTIONS_USE_PCH -include <PCH_HEADER>)
endif()

# Every target defined in dir and below it.
function(velora_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    velora_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# What a target's compile lines get from what it links: VELORA_QT_<t> (the Qt modules, Qt6::Core
# …) and VELORA_OWN_MACROS_<t> (ON when an outside library defines a reserved macro, as libpulse's
# pkg-config -D_REENTRANT: the system headers test those). velora_usage_traits is what a
# target passes on to its users (its public links), velora_link_traits what it compiles with.
function(velora_collect_traits target deps prefix)
  set(qt)
  set(own_macros OFF)
  foreach(dep IN LISTS deps)
    if(dep MATCHES "^\\$<LINK_ONLY:")
      continue()  # linked, not compiled with
    endif()
    string(REGEX REPLACE "^Qt::" "Qt6::" dep "${dep}")  # Qt's own links use these names
    if(dep MATCHES "^Qt6::")
      list(APPEND qt ${dep})
      if(TARGET ${dep})
        # Qt's modules bring others (Multimedia brings Network).
        velora_usage_traits(${dep})
        get_property(dep_qt GLOBAL PROPERTY VELORA_USAGE_QT_${dep})
        list(APPEND qt ${dep_qt})
      endif()
    elseif(TARGET ${dep})
      get_target_property(imported ${dep} IMPORTED)
      if(imported)
        get_target_property(options ${dep} INTERFACE_COMPILE_OPTIONS)
        # Only the reserved names (_REENTRANT, _GNU_SOURCE …) change the system headers. An
        # imported target of another folder is not visible here; -Winvalid-pch would show one
        # that matters.
        if(options MATCHES "(^|;)-D_")
          set(own_macros ON)
        endif()
      else()
        velora_usage_traits(${dep})
        get_property(dep_qt GLOBAL PROPERTY VELORA_USAGE_QT_${dep})
        get_property(dep_macros GLOBAL PROPERTY VELORA_USAGE_OWN_MACROS_${dep})
        list(APPEND qt ${dep_qt})
        if(dep_macros)
          set(own_macros ON)
        endif()
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES qt)
  set_property(GLOBAL PROPERTY ${prefix}QT_${target} ${qt})
  set_property(GLOBAL PROPERTY ${prefix}OWN_MACROS_${target} ${own_macros})
endfunction()

function(velora_usage_traits target)
  get_property(done GLOBAL PROPERTY VELORA_USAGE_QT_${target} SET)
  if(NOT done)
    set_property(GLOBAL PROPERTY VELORA_USAGE_QT_${target} "")  # guards against a cycle
    get_target_property(deps ${target} INTERFACE_LINK_LIBRARIES)
    velora_collect_traits(${target} "${deps}" VELORA_USAGE_)
  endif()
endfunction()

function(velora_link_traits target)
  get_target_property(deps ${target} LINK_LIBRARIES)
  velora_collect_traits(${target} "${deps}" VELORA_)
endfunction()

# The flags a set and its users share. -fPIC last: CMake gives executables -fPIE and libraries
# -fPIC, and GCC takes a precompiled header only with the same one; the last of them wins.
function(velora_pch_flags target kind)
  if(kind STREQUAL "test")
    # GoogleTest's own macro, for the test files that do not link it.
    target_compile_definitions(${target} PRIVATE GTEST_HAS_PTHREAD=1)
    target_compile_options(${target} PRIVATE -O0 -fPIC)
  elseif(kind STREQUAL "qt")
    target_compile_options(${target} PRIVATE -fPIC)
  endif()
  # The rest as CMake gives them: static libraries and executables both without a flag.
endfunction()

function(velora_pch_donor name)
  cmake_parse_arguments(arg "" "KIND" "HEADERS;LIBS" ${ARGN})
  set(source ${CMAKE_BINARY_DIR}/pch/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// The precompiled headers' donor: compiled for them only.\n")
  add_library(${name} OBJECT ${source})
  target_link_libraries(${name} PRIVATE ${arg_LIBS})
  velora_pch_flags(${name} ${arg_KIND})
  target_precompile_headers(${name} PRIVATE ${arg_HEADERS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # clang records the headers' times in a set and refuses it when they differ: a set from
    # ccache, or from before a checkout, would stop the build.
    target_compile_options(${name} PRIVATE -Xclang -fno-pch-timestamp)
  endif()
  if(CMAKE_CXX_COMPILER_LAUNCHER)
    # Each set gets its checksum file, for ccache (CMakeLists.txt).
    set_target_properties(${name} PROPERTIES CXX_COMPILER_LAUNCHER
      "${CMAKE_SOURCE_DIR}/cmake/pch-checksum.sh;${CMAKE_SOURCE_DIR};${CMAKE_CXX_COMPILER_LAUNCHER}")
  endif()
endfunction()

# A test includes its moc files itself ("x.moc"), so its bundle of the rest is all but empty:
# loading a set for it costs 1-3 s, compiling it bare 0.05 s.
function(velora_skip_pch_for_moc_bundle target)
  get_target_property(automoc ${target} AUTOMOC)
  if(NOT automoc)
    return()
  endif()
  get_target_property(autogen_dir ${target} AUTOGEN_BUILD_DIR)
  if(NOT autogen_dir)
    get_target_property(binary_dir ${target} BINARY_DIR)
    set(autogen_dir ${binary_dir}/${target}_autogen)
  endif()
  set_source_files_properties(${autogen_dir}/mocs_compilation.cpp TARGET_DIRECTORY ${target}
    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

function(velora_precompile_all)
  if(NOT VELORA_PCH OR VELORA_FUZZ)
    return()
  endif()
  velora_targets_below(${CMAKE_SOURCE_DIR} targets)

  velora_pch_donor(velora_pch_core KIND core HEADERS ${VELORA_PCH_STD} LIBS Threads::Threads)
  if(TARGET GTest::gtest)
    velora_pch_donor(velora_pch_test KIND test
      HEADERS ${VELORA_PCH_STD} <gtest/gtest.h> ${CMAKE_SOURCE_DIR}/tests/BuildTree.h
      LIBS GTest::gtest Threads::Threads)
  endif()
  if(TARGET Qt6::Widgets)
    velora_pch_donor(velora_pch_qt KIND qt HEADERS ${VELORA_PCH_STD} ${VELORA_PCH_QT}
      LIBS Qt6::Widgets Threads::Threads)
    if(TARGET Qt6::Test)
      velora_pch_donor(velora_pch_qtest KIND test
        HEADERS ${VELORA_PCH_STD} ${VELORA_PCH_QT} <QTest> <QSignalSpy> ${CMAKE_SOURCE_DIR}/tests/BuildTree.h
        LIBS Qt6::Widgets Qt6::Test Threads::Threads)
      # Qt Test brings its network helpers with QT_NETWORK_LIB: a set each way.
      velora_pch_donor(velora_pch_qtest_net KIND test
        HEADERS ${VELORA_PCH_STD} ${VELORA_PCH_QT} <QTest> <QSignalSpy> ${CMAKE_SOURCE_DIR}/tests/BuildTree.h
        LIBS Qt6::Widgets Qt6::Test Qt6::Network Threads::Threads)
    endif()
  endif()

  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(test_code OFF)
    foreach(dir IN LISTS VELORA_TEST_CODE_DIRS)
      cmake_path(IS_PREFIX dir "${source_dir}" under)
      if(under)
        set(test_code ON)
      endif()
    endforeach()
    velora_link_traits(${target})
    get_property(qt GLOBAL PROPERTY VELORA_QT_${target})
    get_property(own_macros GLOBAL PROPERTY VELORA_OWN_MACROS_${target})
    if(test_code)
      set(kind test)
    elseif(qt)
      set(kind qt)
    else()
      set(kind core)
    endif()
    velora_pch_flags(${target} ${kind})
    if(own_macros)
      if(test_code)
        # What the tests' sets would have brought (tests/CMakeLists.txt, velora_test_programs).
        target_compile_options(${target} PRIVATE -include ${CMAKE_SOURCE_DIR}/tests/BuildTree.h)
      endif()
      continue()
    endif()
    # A set with Qt's widgets only for targets that use them: the headers test the modules'
    # macros (QT_WIDGETS_LIB …), and without them the set does not apply.
    set(widgets OFF)
    if("Qt6::Widgets" IN_LIST qt)
      set(widgets ON)
    endif()
    if(test_code)
      if(widgets AND "Qt6::Test" IN_LIST qt AND TARGET velora_pch_qtest)
        set(donor velora_pch_qtest)
        if("Qt6::Network" IN_LIST qt)
          set(donor velora_pch_qtest_net)
        endif()
      elseif(TARGET velora_pch_test)
        set(donor velora_pch_test)
      else()
        continue()
      endif()
    elseif(widgets AND TARGET velora_pch_qt)
      set(donor velora_pch_qt)
    elseif(qt)
      continue()  # a few small Qt targets without widgets: not worth a set of their own
    else()
      set(donor velora_pch_core)
    endif()
    target_precompile_headers(${target} REUSE_FROM ${donor})
    if(test_code)
      velora_skip_pch_for_moc_bundle(${target})
    endif()
  endforeach()
endfunction()
