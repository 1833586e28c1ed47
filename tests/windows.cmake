# The Windows builds' tests, plain programs run under wine by
# scripts/test-windows.sh (no GoogleTest there). The runtime smoke test runs
# a program image on the kernel library of this build, and checks the
# Windows back-ends that only the system's own functions can show.
add_executable(runtime_smoke ${CMAKE_CURRENT_SOURCE_DIR}/windows/runtime_smoke.cc)
target_link_libraries(runtime_smoke PRIVATE tulora_runtime_core)
set_target_properties(runtime_smoke PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TULORA_RUNTIME_DIR})
add_dependencies(runtime_smoke ostra VThread xtra)

# Adds a certificate file to the root store of the wine prefix it runs in,
# so that the request object there trusts the local test servers.
add_executable(trust_certificate ${CMAKE_CURRENT_SOURCE_DIR}/windows/trust_certificate.cc)
target_link_libraries(trust_certificate PRIVATE crypt32)
set_target_properties(trust_certificate PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TULORA_RUNTIME_DIR})

# The launcher's tests (tests/windows/launcher_cases.sh): a kernel library
# whose GetNewSock refuses every version.
add_library(refusing_kernel SHARED ${CMAKE_CURRENT_SOURCE_DIR}/windows/refusing_kernel.cc)
target_include_directories(refusing_kernel PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(refusing_kernel PROPERTIES PREFIX "" SUFFIX ".vlr"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
