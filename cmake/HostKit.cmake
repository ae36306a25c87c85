# What `cmake --install` gives a host's developer: the two DLLs, the import
# library, the public headers, the Java class and a CMake package (ZK::ZK,
# cmake/ZKConfig.cmake).
install(TARGETS ZK EXPORT ZKTargets
  RUNTIME DESTINATION bin
  ARCHIVE DESTINATION lib)
install(TARGETS ZKHooks EXPORT ZKTargets
  RUNTIME DESTINATION bin)
install(FILES include/ZK.h include/ZKEvents.h DESTINATION include)
install(EXPORT ZKTargets NAMESPACE ZK:: DESTINATION lib/cmake/ZK)
install(FILES cmake/ZKConfig.cmake DESTINATION lib/cmake/ZK)
install(FILES ${ZK_JAVA_JAR} DESTINATION share/java)
