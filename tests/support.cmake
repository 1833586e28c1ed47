# The hosted test runtime: tulora_services in process. An object library, so
# that the definition of tulora_services is linked whatever the order of
# libraries on a test's link line.
add_library(tulora_hosted_runtime OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/support/hosted_runtime.cc)
target_include_directories(tulora_hosted_runtime PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tulora_hosted_runtime PUBLIC tulora_text_commands tulora_codepage)


# Child processes for end-to-end tests: environment, standard input, working
# directory; exit code, output and wall time; a scratch directory per test;
# a network of the process's own.
add_library(tulora_test_process STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/process.cc
                                       ${CMAKE_CURRENT_SOURCE_DIR}/support/scratch_directory.cc
                                       ${CMAKE_CURRENT_SOURCE_DIR}/support/own_network.cc)
target_include_directories(tulora_test_process PUBLIC ${PROJECT_SOURCE_DIR})


# What the runtime's tests need of the operating system (libraries loaded by
# path, standard streams, limits, guard pages, pipes), per platform.
tulora_backends(TEST_PLATFORM_BACKENDS support/test_platform)
add_library(tulora_test_platform STATIC ${TEST_PLATFORM_BACKENDS})
target_include_directories(tulora_test_platform PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tulora_test_platform PUBLIC ${CMAKE_DL_LIBS})

# Program images for the kernel's tests: real machine code assembled in the
# test, with the relocations and fix-ups an image linker would write.
add_library(tulora_runtime_test_program STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/test_program.cc)
target_link_libraries(tulora_runtime_test_program PUBLIC tulora_image_format)

# The hosted application on the real kernel: tulora_services for the tests
# of the application on the kernel. An object library, like the hosted
# runtime, so that its definition of tulora_services is always linked.
add_library(tulora_kernel_host OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/support/kernel_host.cc)
target_link_libraries(tulora_kernel_host PUBLIC tulora_runtime_core)
