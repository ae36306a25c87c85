# mbed TLS for the encrypted link, as the target zk_mbedtls. The native tree
# uses Debian's libmbedtls-dev; the cross tree a build of the same Debian
# source package for i686, made and kept by tools/mbedtls.sh (tools/test.sh
# passes its folder as ZK_MBEDTLS_I686; a plain configure runs the script).
if(TARGET zk_mbedtls)
  return()
endif()

if(WIN32)
  set(ZK_MBEDTLS_I686 "" CACHE PATH "mbed TLS built for i686 by tools/mbedtls.sh (include/, lib/)")
  if(NOT ZK_MBEDTLS_I686)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/mbedtls.sh
                    OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "tools/mbedtls.sh could not provide mbed TLS for the cross build")
    endif()
    set(ZK_MBEDTLS_I686 "${prefix}" CACHE PATH "mbed TLS built for i686 by tools/mbedtls.sh" FORCE)
  endif()
  set(mbedtls_include "${ZK_MBEDTLS_I686}/include")
  foreach(name mbedtls mbedx509 mbedcrypto)
    set(mbedtls_${name} "${ZK_MBEDTLS_I686}/lib/lib${name}.a")
  endforeach()
else()
  find_path(ZK_MBEDTLS_INCLUDE mbedtls/ssl.h)
  set(mbedtls_include "${ZK_MBEDTLS_INCLUDE}")
  foreach(name mbedtls mbedx509 mbedcrypto)
    find_library(ZK_LIB_${name} NAMES lib${name}.a ${name})
    set(mbedtls_${name} "${ZK_LIB_${name}}")
  endforeach()
endif()

foreach(path "${mbedtls_include}/mbedtls/ssl.h" "${mbedtls_mbedtls}" "${mbedtls_mbedx509}" "${mbedtls_mbedcrypto}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "mbed TLS is missing (${path}): run tools/setup.sh, and for the cross build tools/mbedtls.sh")
  endif()
endforeach()

add_library(zk_mbedtls INTERFACE)
target_include_directories(zk_mbedtls SYSTEM INTERFACE "${mbedtls_include}")
# In this order: each library uses the next.
target_link_libraries(zk_mbedtls INTERFACE "${mbedtls_mbedtls}" "${mbedtls_mbedx509}" "${mbedtls_mbedcrypto}")
if(NOT WIN32)
  # Debian builds it with its threading layer on pthreads.
  find_package(Threads REQUIRED)
  target_link_libraries(zk_mbedtls INTERFACE Threads::Threads)
endif()
