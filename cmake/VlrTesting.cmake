# Every "<name>_test.cpp" in a tests folder becomes a test program "<prefix>_<name>" with the
# label "unit"; "<name>_itest.cpp" gets the label "integration". Programs land in tests/,
# outside bin/, so that bin/ holds only the deliverables.
# DEPENDS names programs the tests run (built before the tests).
function(vlr_add_test_folder)
  cmake_parse_arguments(T "" "PREFIX" "LIBS;DEPENDS" ${ARGN})
  file(GLOB unit_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB integration_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_itest.cpp)
  foreach(source IN LISTS unit_sources integration_sources)
    get_filename_component(stem ${source} NAME_WE)
    if(source IN_LIST integration_sources)
      set(label integration)
    else()
      set(label unit)
    endif()
    vlr_add_test(NAME ${T_PREFIX}_${stem} LABEL ${label} SOURCES ${source} LIBS ${T_LIBS})
    if(T_DEPENDS)
      add_dependencies(${T_PREFIX}_${stem} ${T_DEPENDS})
    endif()
  endforeach()
endfunction()

function(vlr_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vlr_test_support GTest::gtest GTest::gtest_main)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE
    VLR_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    VLR_BIN_DIR="${VLR_BIN_DIR}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 30
    PROPERTIES LABELS ${T_LABEL}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=/tmp")
endfunction()
