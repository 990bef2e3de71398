# pv_layer(NAME DIRS... DEPS ...): one static library per layer, built from the
# .cc files found in the given directories (relative to the current source
# dir). A layer with no sources yet is an INTERFACE library, so the layers
# above it can already link to it.
function(pv_layer name)
  cmake_parse_arguments(PV "" "" "DIRS;DEPS" ${ARGN})
  set(srcs "")
  foreach(d IN LISTS PV_DIRS)
    file(GLOB found CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cc")
    list(APPEND srcs ${found})
  endforeach()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${PV_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${PV_DEPS})
  endif()
endfunction()

# pv_test_binary(NAME DIR DEPS...): one GoogleTest binary per test folder,
# built from its *_test.cc files plus the support code (tests/support,
# whose compile definitions name the source, fixture and build directories).
function(pv_test_binary name)
  cmake_parse_arguments(PV "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc")
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${PV_DEPS} pv_pool_setup pv_test_support GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()
