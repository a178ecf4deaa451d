# Address resolution through the messaging library (CMapinator, CProxy) and the profile user's
# identity (CIdentity). Included from operations/CMakeLists.txt.
add_library(vlr_identity STATIC
  ${CMAKE_CURRENT_LIST_DIR}/mapinator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/identity.cpp)
target_include_directories(vlr_identity PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vlr_identity PUBLIC vlr_foundation vlr_platform_mapi)

# The test program tests/operations/identity_test.cpp needs this library and the profile
# helpers; its target exists only once the tests folder has been read.
function(vlr_identity_link_test)
  if(TARGET operations_identity_test)
    target_link_libraries(operations_identity_test PRIVATE vlr_identity vlr_platform_outlook)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vlr_identity_link_test)
