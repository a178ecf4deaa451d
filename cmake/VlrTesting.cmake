# Every "<name>_test.cpp" in a tests folder becomes a test program "<prefix>_<name>" with the
# label "unit"; "<name>_itest.cpp" gets the label "integration", "<name>_guitest.cpp" the label
# "gui" (a dialog test, see vlr_add_test). Programs land in tests/, outside bin/, so that bin/
# holds only the deliverables.
# SOURCES and LIBS go into every program of the folder; INTEGRATION_LIBS are added to the
# integration programs and GUI_LIBS to the gui programs. DEPENDS names programs the tests run
# (built before the tests).
function(vlr_add_test_folder)
  cmake_parse_arguments(T "" "PREFIX" "SOURCES;LIBS;INTEGRATION_LIBS;GUI_LIBS;DEPENDS" ${ARGN})
  file(GLOB unit_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB integration_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_itest.cpp)
  file(GLOB gui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_guitest.cpp)
  foreach(source IN LISTS unit_sources integration_sources gui_sources)
    get_filename_component(stem ${source} NAME_WE)
    set(name ${T_PREFIX}_${stem})
    if(source IN_LIST gui_sources)
      vlr_add_test(NAME ${name} LABEL gui GUI SOURCES ${source} ${T_SOURCES}
                   LIBS ${T_LIBS} ${T_GUI_LIBS})
    elseif(source IN_LIST integration_sources)
      vlr_add_test(NAME ${name} LABEL integration SOURCES ${source} ${T_SOURCES}
                   LIBS ${T_LIBS} ${T_INTEGRATION_LIBS})
    else()
      vlr_add_test(NAME ${name} LABEL unit SOURCES ${source} ${T_SOURCES} LIBS ${T_LIBS})
    endif()
    if(T_DEPENDS)
      add_dependencies(${name} ${T_DEPENDS})
    endif()
  endforeach()
endfunction()

# One test program. With GUI it is a dialog test: its main (tests/transport/guitestmain.cpp)
# runs a QApplication on the offscreen platform, and it links Qt Widgets and QtTest.
function(vlr_add_test)
  cmake_parse_arguments(T "GUI" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  if(T_GUI)
    add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/transport/guitestmain.cpp)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vlr_test_support GTest::gtest
                          Qt6::Widgets Qt6::Test)
  else()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vlr_test_support GTest::gtest GTest::gtest_main)
  endif()
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
