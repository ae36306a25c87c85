# The screen-sharing library for a host built with mingw-w64 (i686):
#   find_package(ZK REQUIRED)
#   target_link_libraries(host PRIVATE ZK::ZK)
# ZK::ZK links the import library and brings ZK.h. A Windows program finds
# ZK.dll, and the ZKHooks.dll that ZK.dll loads, beside itself:
# $<TARGET_RUNTIME_DLLS:host> names both, for copying there.
include("${CMAKE_CURRENT_LIST_DIR}/ZKTargets.cmake")
# A dependency at run time only: hosts never link ZKHooks.
set_property(TARGET ZK::ZK APPEND PROPERTY IMPORTED_LINK_DEPENDENT_LIBRARIES ZK::ZKHooks)
