# Late-bound access to the Outlook object model; apart from vlr_foundation because it needs COM.
add_library(vlr_dispatcher STATIC dispatcher.cpp)
target_link_libraries(vlr_dispatcher PUBLIC vlr_foundation vlr_platform_com)
